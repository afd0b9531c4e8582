#include "MainView.h"

#include "RepeatField.h"

namespace pressmark {

void MainView::setRepeat(int repeat) {
    showRepeatText(repeatfield::shown(repeat));
}

int MainView::repeat() {
    const repeatfield::Reading r = repeatfield::read(repeatText());
    if (r.refill) {
        showRepeatText(*r.refill);
    }
    return r.value;
}

void MainView::stepRepeat(int delta) {
    showRepeatText(repeatfield::stepped(repeatText(), delta));
}

} // namespace pressmark
