#include "clickerRec.h"

#include "platform/Platform.h"
#include "scenario/ScenarioFormat.h"
#include "base/IntConv.h"

#include <stdexcept>
#include <utility>

namespace pressmark {
namespace {

const std::string& actionCaption() {
    static const std::string caption = "Настройки действия";
    return caption;
}

// The prompt's closing is reported whatever ends the action.
class PromptScope {
public:
    explicit PromptScope(RecordingEvents& events) : m_events(events) { m_events.promptOpening(); }
    ~PromptScope() { m_events.promptClosed(); }
    PromptScope(const PromptScope&) = delete;
    PromptScope& operator=(const PromptScope&) = delete;

private:
    RecordingEvents& m_events;
};

} // namespace

clickerRec::clickerRec(std::filesystem::path path, RecordingEvents& events)
    : clicker(std::move(path)), m_events(events) {}

clickerRec::~clickerRec() {
    try {
        finish();
    } catch (...) {
        // A destructor must not throw; what came before the failing call
        // has been done, and nothing else can be done here.
    }
}

ProfileStore& clickerRec::store() const {
    if (!m_file) {
        throw std::logic_error("recorder without a scenario file");
    }
    return *m_file;
}

void clickerRec::start() {
    m_stepCount = 0;
    m_blink = 0;
    scenario::ScenarioFile(store()).writeBaseDelay(scenario::kDefaultDelay);
    dev::StartSampling();
    m_sampling = true;
    m_events.recordingStarted();
}

bool clickerRec::tick() {
    if (m_stepCount >= scenario::kLastStep) {
        return false;
    }
    if (m_blink > 10) {
        m_blink = 0;
    } else {
        ++m_blink;
    }
    if (m_blink == 10) {
        m_events.blink();
    }
    for (const platform::Press& press : dev::TakePresses()) {
        if (!press.ownWindow) {
            recordPress(press);
        }
    }
    return true;
}

void clickerRec::recordPress(const platform::Press& press) {
    platform::Point p = press.pos;
    dev::ScaleToAbsolute(p);
    const std::int32_t step = m_stepCount + 1;
    scenario::ScenarioFile(store()).writeClick(step, p.x, p.y,
                                               press.button == platform::MouseButton::Left);
    m_stepCount = step;
}

void clickerRec::finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    if (m_sampling) {
        m_sampling = false;
        dev::StopSampling();
    }
    // The clicks were appended without waiting for the disk, to keep up with
    // the tick; once the recording ends they are put there, so that a power
    // cut costs at most the clicks of a recording still on.
    if (m_file) {
        m_file->flush();
    }
    m_events.recordingStopped();
}

void clickerRec::insertDelay() {
    PromptScope prompt(m_events);
    const auto answer =
        AskValueOrCancel("0", "Увеличение задержки между действием(милисекунды)", actionCaption());
    if (!answer || m_finished) {
        return;
    }
    if (answer->empty()) {
        Notice("Значение не установлено!", NoticePlain);
        return;
    }
    scenario::ScenarioFile(store()).writePause(m_stepCount, strToInt(*answer));
}

void clickerRec::sendText() {
    if (m_stepCount == 0) {
        Notice("Вы должны сначала нажать мышкой в том месте, где хотите чтоб появился текст.",
               NoticeError);
        return;
    }
    PromptScope prompt(m_events);
    const auto answer = AskValueOrCancel(
        "", "Введите текст (он будет послан в последнее место нажатия мышью)", actionCaption());
    if (!answer || m_finished) {
        return;
    }
    const std::string text = sf::StripLineBreaks(*answer);
    if (text.empty()) {
        return;
    }
    scenario::ScenarioFile(store()).writeText(m_stepCount, text);
    if (const auto typed = dev::TypeText(text); typed.skipped > 0) {
        m_events.textNotTyped(typed.skipped);
    }
}

void clickerRec::changeProxy() {
    PromptScope prompt(m_events);
    const auto answer = AskValueOrCancel(
        "", "Введите Proxy для Internet Explorer и браузерах на его движке", actionCaption());
    if (!answer || m_finished) {
        return;
    }
    const std::string proxy = sf::StripLineBreaks(*answer);
    if (proxy.empty()) {
        return;
    }
    scenario::ScenarioFile(store()).writeProxy(m_stepCount, proxy);
    net::SetProxy(proxy, true);
}

void clickerRec::purgeCache() {
    PromptScope prompt(m_events);
    const bool yes = Notice(
        "Отчистить Cookies и кеш в Internet Explorer и браузерах на его движке?", NoticeConfirm);
    if (!yes || m_finished) {
        return;
    }
    scenario::ScenarioFile(store()).writePurge(m_stepCount);
    net::ClearCache();
}

} // namespace pressmark
