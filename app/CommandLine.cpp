#include "CommandLine.h"

#include <charconv>
#include <string_view>
#include <system_error>

namespace pressmark {

namespace {

struct Option {
    std::string_view name;
    char shortName;
    std::string_view value; // empty for a flag
};

constexpr Option kOptions[] = {
    {"help", 'h', {}},   {"version", 'v', {}}, {"scenarios", 0, "DIR"},
    {"play", 0, "NAME"}, {"repeat", 0, "N"},   {"list", 0, {}},
};

const Option* findOption(std::string_view name) {
    for (const Option& o : kOptions) {
        if (o.name == name || (name.size() == 1 && o.shortName == name[0])) {
            return &o;
        }
    }
    return nullptr;
}

// Breaks text into lines of at most width characters (counted as bytes:
// the help is ASCII), each after indent blanks but the first.
std::string wrap(std::string_view text, std::size_t indent, std::size_t width) {
    std::string out;
    std::size_t column = indent;
    bool first = true;
    while (!text.empty()) {
        const std::size_t blank = text.find(' ');
        const std::string_view word = text.substr(0, blank);
        text = blank == std::string_view::npos ? std::string_view{} : text.substr(blank + 1);
        if (!first && column + 1 + word.size() > width) {
            out += '\n' + std::string(indent, ' ');
            column = indent;
            first = true;
        }
        if (!first) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        first = false;
    }
    return out;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine out;
    auto fail = [&out](std::string why) {
        out.mode = CommandLine::Mode::Error;
        out.error = std::move(why);
        return out;
    };
    bool help = false;
    bool version = false;
    bool list = false;
    std::optional<std::string> play;
    std::optional<std::string> repeat;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            if (arg == "/?") {
                help = true;
                continue;
            }
            return fail("unexpected argument '" + arg + "' (scenario names go after --play)");
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        const bool isLong = arg[1] == '-';
        std::string_view name = std::string_view(arg).substr(isLong ? 2 : 1);
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); isLong && eq != std::string_view::npos) {
            value = std::string(name.substr(eq + 1));
            name = name.substr(0, eq);
        }
        const Option* option = findOption(name);
        if (!option || (!isLong && name.size() != 1) || (isLong && name.size() == 1)) {
            return fail("unknown option '" + arg + "'");
        }
        if (option->value.empty()) {
            if (value) {
                return fail("--" + std::string(option->name) + " takes no value");
            }
        } else if (!value) {
            if (i + 1 == arguments.size()) {
                return fail("--" + std::string(option->name) + " needs a value");
            }
            value = arguments[++i];
        }
        const auto once = [&](std::optional<std::string>& slot) {
            if (slot) {
                return false;
            }
            slot = *value;
            return true;
        };
        bool first = true;
        if (option->name == "help") {
            help = true;
        } else if (option->name == "version") {
            version = true;
        } else if (option->name == "list") {
            list = true;
        } else if (option->name == "scenarios") {
            first = once(out.scenarios);
        } else if (option->name == "play") {
            first = once(play);
        } else {
            first = once(repeat);
        }
        if (!first) {
            return fail("--" + std::string(option->name) + " given more than once");
        }
    }
    if (help) {
        out.mode = CommandLine::Mode::Help;
        return out;
    }
    if (version) {
        out.mode = CommandLine::Mode::Version;
        return out;
    }
    if (out.scenarios && out.scenarios->empty()) {
        return fail("--scenarios needs a folder");
    }
    if (repeat) {
        if (!play) {
            return fail("--repeat works only with --play");
        }
        int n = 0;
        const char* first = repeat->data();
        const char* last = first + repeat->size();
        const auto [end, ec] = std::from_chars(first, last, n);
        if (ec != std::errc{} || end != last || n < 1) {
            return fail("--repeat needs a whole number of 1 or more, not '" + *repeat + "'");
        }
        out.repeat = n;
    }
    if (play && list) {
        return fail("--play and --list cannot be combined");
    }
    if (play) {
        if (play->empty()) {
            return fail("--play needs a scenario name");
        }
        out.mode = CommandLine::Mode::Play;
        out.play = *play;
    } else if (list) {
        out.mode = CommandLine::Mode::List;
    }
    return out;
}

std::string helpText(HelpFor system) {
    const bool windows = system == HelpFor::Windows;
    const std::string folder =
        windows ? "TH_Scenaries beside pressmark.exe when that folder can be written, else "
                  "%LOCALAPPDATA%\\pressmark\\TH_Scenaries"
                : "TH_Scenaries beside the program for a portable copy, else the per-user data "
                  "folder; see the README";
    const std::string stop = windows ? "Alt+W or Ctrl+C in the console" : "Alt+W or Ctrl+C";
    const struct {
        std::string_view names;
        std::string text;
    } rows[] = {
        {"-h, --help", "Show this help and exit."},
        {"-v, --version", "Show the version and exit."},
        {"--scenarios <DIR>", "Use DIR, which must exist, as the scenario folder (default: "
                              "%PRESSMARK_SCENARIOS%, else " +
                                  folder + ")."},
        {"--play <NAME>", "Play the scenario NAME without showing the window; " + stop +
                              " stops it. Progress goes to standard error."},
        {"--repeat <N>", "With --play: play N times instead of the scenario's own count."},
        {"--list", "Print the scenario names and exit." +
                       std::string(windows ? ""
                                           : " A code page 1251 file name that reads as "
                                             "another's is listed with \" (cp1251)\" after it.")},
    };
    std::string out = std::string("Usage: ") + (windows ? "pressmark.exe" : "pressmark") +
                      " [options]\n"
                      "Records mouse clicks into scenarios and plays them back.\n" +
                      wrap("Without options the window opens. Exit codes of --play: 0 done, 1 "
                           "stopped (" +
                               stop +
                               "), 2 bad arguments, 3 no such scenario (or it cannot be read or "
                               "is too large), "
                               "4 no usable display, 5 the run failed.",
                           0, 79) +
                      "\n";
    if (windows) {
        out += wrap("Started from a console, --list and --play write to it; started from "
                    "Explorer, the program shows no console.",
                    0, 79) +
               "\n";
    }
    out += "\nOptions:\n";
    constexpr std::size_t column = 21;
    for (const auto& row : rows) {
        std::string line = "  " + std::string(row.names);
        line.resize(column, ' ');
        out += line + wrap(row.text, column, 79) + "\n";
    }
    if (!windows) {
        // The variable as a shell names it.
        const std::string percent = "%PRESSMARK_SCENARIOS%";
        out.replace(out.find(percent), percent.size(), "$PRESSMARK_SCENARIOS");
    }
    return out;
}

} // namespace pressmark
