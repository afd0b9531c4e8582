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

// The window stays out of the way of the prompt and of what the action does
// to other programs, and comes back whatever ends the action.
class HiddenWindow {
public:
    explicit HiddenWindow(WindowControls& window) : m_window(window) { m_window.hideWindow(); }
    ~HiddenWindow() { m_window.showWindow(); }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;

private:
    WindowControls& m_window;
};

} // namespace

clickerRec::clickerRec(std::filesystem::path path, WindowControls& window)
    : clicker(std::move(path)), m_window(window) {
    m_window.setStopRecordEnabled(true);
    m_window.setRecordEnabled(false);
    m_window.setScenariosPageEnabled(false);
}

clickerRec::~clickerRec() {
    try {
        finish();
    } catch (...) {
        // A destructor must not throw; the window effects above the failing
        // call have been made, and nothing else can be done here.
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
    scenario::ScenarioFile(store()).writeBaseDelay(300);
    dev::StartSampling();
    m_sampling = true;
    m_window.setSamplingTimer(true);
}

bool clickerRec::tick() {
    if (m_stepCount >= m_stepLimit) {
        return false;
    }
    if (m_blink > 10) {
        m_blink = 0;
    } else {
        ++m_blink;
    }
    if (m_blink == 10) {
        m_window.setIndicator(m_window.indicator() == WindowControls::Indicator::Yellow
                                  ? WindowControls::Indicator::Red
                                  : WindowControls::Indicator::Yellow);
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
    m_window.setSamplingTimer(false);
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
    m_window.setStopRecordEnabled(false);
    m_window.setRecordEnabled(true);
    m_window.setScenariosPageEnabled(true);
    m_window.setIndicator(WindowControls::Indicator::Yellow);
    m_window.refreshScenarioList();
}

void clickerRec::insertDelay() {
    HiddenWindow hidden(m_window);
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
    HiddenWindow hidden(m_window);
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
    dev::TypeText(text);
}

void clickerRec::changeProxy() {
    HiddenWindow hidden(m_window);
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
    HiddenWindow hidden(m_window);
    const bool yes = Notice(
        "Отчистить Cookies и кеш в Internet Explorer и браузерах на его движке?", NoticeConfirm);
    if (!yes || m_finished) {
        return;
    }
    scenario::ScenarioFile(store()).writePurge(m_stepCount);
    net::ClearCache();
}

} // namespace pressmark
