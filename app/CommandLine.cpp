#include "CommandLine.h"

#include <QCommandLineParser>

namespace pressmark {

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Records mouse clicks into scenarios and plays them back.\n"
                       "Without options the window opens. Exit codes of --play: 0 done, "
                       "1 stopped (Alt+W or Ctrl+C), 2 bad arguments, 3 no such scenario "
                       "(or it cannot be read), 4 no usable display, 5 the run failed."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption scenarios(
        QStringLiteral("scenarios"),
        QStringLiteral("Use DIR, which must exist, as the scenario folder (default: "
                       "$PRESSMARK_SCENARIOS, else TH_Scenaries beside the program for a "
                       "portable copy, else the per-user data folder; see the README)."),
        QStringLiteral("DIR"));
    const QCommandLineOption play(
        QStringLiteral("play"),
        QStringLiteral("Play the scenario NAME without showing the window; Alt+W or Ctrl+C "
                       "stops it. Progress goes to standard error."),
        QStringLiteral("NAME"));
    const QCommandLineOption repeat(
        QStringLiteral("repeat"),
        QStringLiteral("With --play: play N times instead of the scenario's own count."),
        QStringLiteral("N"));
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("Print the scenario names and exit."));
    parser.addOptions({help, version, scenarios, play, repeat, list});

    CommandLine out;
    out.helpText =
        parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("pressmark"));
    auto fail = [&out](const QString& why) {
        out.mode = CommandLine::Mode::Error;
        out.error = why;
        return out;
    };
    if (!parser.parse(arguments)) {
        return fail(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(QStringLiteral("unexpected argument '%1' (scenario names go after --play)")
                        .arg(parser.positionalArguments().front()));
    }
    for (const QCommandLineOption* once : {&scenarios, &play, &repeat}) {
        if (parser.values(*once).size() > 1) {
            return fail(QStringLiteral("--%1 given more than once").arg(once->names().front()));
        }
    }
    if (parser.isSet(help)) {
        out.mode = CommandLine::Mode::Help;
        return out;
    }
    if (parser.isSet(version)) {
        out.mode = CommandLine::Mode::Version;
        return out;
    }
    if (parser.isSet(scenarios)) {
        if (parser.value(scenarios).isEmpty()) {
            return fail(QStringLiteral("--scenarios needs a folder"));
        }
        out.scenarios = parser.value(scenarios);
    }
    if (parser.isSet(repeat)) {
        if (!parser.isSet(play)) {
            return fail(QStringLiteral("--repeat works only with --play"));
        }
        bool ok = false;
        const int n = parser.value(repeat).toInt(&ok);
        if (!ok || n < 1) {
            return fail(QStringLiteral("--repeat needs a whole number of 1 or more, not '%1'")
                            .arg(parser.value(repeat)));
        }
        out.repeat = n;
    }
    if (parser.isSet(play) && parser.isSet(list)) {
        return fail(QStringLiteral("--play and --list cannot be combined"));
    }
    if (parser.isSet(play)) {
        if (parser.value(play).isEmpty()) {
            return fail(QStringLiteral("--play needs a scenario name"));
        }
        out.mode = CommandLine::Mode::Play;
        out.play = parser.value(play);
    } else if (parser.isSet(list)) {
        out.mode = CommandLine::Mode::List;
    }
    return out;
}

} // namespace pressmark
