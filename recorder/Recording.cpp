#include "clickerRec.h"

#include "platform/Platform.h"
#include "scenario/ScenarioFormat.h"
#include "scenario/ProfileStore.h"
#include "scenario/ScenarioFolder.h"

#include <system_error>

namespace pressmark {
namespace {

void refuseWithoutRecording() {
    Notice("Вы должны сначала включить запись, чтобы использовать эту функцию.", NoticeError);
}

} // namespace

Recording::Recording(RecordingEvents& events) : m_events(events) {}

Recording::~Recording() {
    if (m_current) {
        try {
            stop();
        } catch (...) {
            // Nothing can be reported from a destructor.
        }
    }
}

bool Recording::start(const std::filesystem::path& folder, std::string_view nameUtf8) {
    if (!isValidScenarioName(nameUtf8)) {
        Notice("Недопустимое имя сценария!", NoticeError);
        return false;
    }
    const std::filesystem::path file = scenarioFile(folder, nameUtf8);
    std::error_code ec;
    const bool exists = std::filesystem::exists(file, ec);
    if (exists && !Notice("Сценарий с таким именем уже существует. Перезаписать?", NoticeConfirm)) {
        return false;
    }
    // A recording still on (Ctrl+Q while recording) ends as Stop ends it
    // before the new one touches any file.
    stop();
    if (exists) {
        ProfileStore store(file);
        scenario::ScenarioFile(store).removeSteps();
    }
    m_current = std::make_shared<clickerRec>(file, m_events);
    try {
        m_current->start();
    } catch (...) {
        stop();
        throw;
    }
    return true;
}

void Recording::stop() {
    if (!m_current) {
        return;
    }
    // Cleared first: whoever hears of the end sees no current recorder.
    const std::shared_ptr<clickerRec> ending = std::move(m_current);
    ending->finish();
}

void Recording::tick() {
    if (!m_current) {
        return;
    }
    bool goOn = false;
    try {
        goOn = m_current->tick();
    } catch (...) {
        stop();
        throw;
    }
    if (!goOn) {
        stop();
    }
}

void Recording::insertDelay() {
    if (const std::shared_ptr<clickerRec> rec = m_current) {
        rec->insertDelay();
    } else {
        refuseWithoutRecording();
    }
}

void Recording::sendText() {
    if (const std::shared_ptr<clickerRec> rec = m_current) {
        rec->sendText();
    } else {
        refuseWithoutRecording();
    }
}

void Recording::changeProxy() {
    if (const std::shared_ptr<clickerRec> rec = m_current) {
        rec->changeProxy();
    } else {
        refuseWithoutRecording();
    }
}

void Recording::purgeCache() {
    if (const std::shared_ptr<clickerRec> rec = m_current) {
        rec->purgeCache();
    } else {
        refuseWithoutRecording();
    }
}

} // namespace pressmark
