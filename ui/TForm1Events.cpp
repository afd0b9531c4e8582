#include "TForm1.h"

#include "RepeatEdit.h"
#include "TForm1Parts.h"
#include "Widgets.h"
#include "window/Layout.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <stdexcept>
#include <string>

// The events: each one the table names goes to its MainWindow handler; the
// window's own (a right press, minimising, closing) are answered here.
namespace pressmark {

using formparts::text;

void TForm1::connectEvents(const layout::Control& c, QObject* object) {
    using layout::Event;
    for (const layout::Handler& h : c.events) {
        if (!h.call) {
            continue;
        }
        const auto call = [this, handler = h.call] { (m_logic.*handler)(); };
        auto* list = qobject_cast<QListWidget*>(object);
        auto* bar = qobject_cast<TrackBar*>(object);
        auto* repeat = qobject_cast<RepeatEdit*>(object);
        bool wired = true;
        switch (h.event) {
        case Event::Click:
            if (auto* b = qobject_cast<QPushButton*>(object)) {
                connect(b, &QPushButton::clicked, this, call);
            } else if (auto* a = qobject_cast<QAction*>(object)) {
                connect(a, &QAction::triggered, this, call);
            } else if (list) {
                connect(list, &QListWidget::itemClicked, this, call);
            } else {
                wired = false;
            }
            break;
        case Event::Change:
            if (list) {
                connect(list, &QListWidget::itemSelectionChanged, this, call);
            } else if (bar) {
                connect(bar, &QSlider::valueChanged, this, call);
            } else {
                wired = false;
            }
            break;
        case Event::MouseUp:
            wired = bar != nullptr;
            if (bar) {
                connect(bar, &TrackBar::mouseReleased, this, call);
            }
            break;
        case Event::KeyUp:
            if (repeat) {
                connect(repeat, &RepeatEdit::keyReleased, this, call);
            } else if (auto* memo = qobject_cast<Memo1251*>(object)) {
                connect(memo, &Memo1251::keyReleased, this, call);
            } else {
                wired = false;
            }
            break;
        case Event::ButtonClick:
            wired = repeat != nullptr;
            if (repeat) {
                // The step first, by the window's rule, then the handler.
                connect(repeat, &RepeatEdit::stepRequested, this, [this, call](int delta) {
                    stepRepeat(delta);
                    call();
                });
            }
            break;
        case Event::Timer:
            if (auto* timer = qobject_cast<QTimer*>(object)) {
                connect(timer, &QTimer::timeout, this, call);
            } else {
                wired = false;
            }
            break;
        }
        // A table entry this front end cannot wire is a mistake in the table:
        // the window is not made, in any build.
        if (!wired) {
            throw std::logic_error("TForm1: no way to wire an event of " + std::string(c.name));
        }
    }
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) {
    // The innermost control of the table under the press, and the menu the
    // window's rule gives for that place.
    QWidget* at = childAt(event->pos());
    while (
        at && at != this &&
        std::none_of(layout::controls().begin(), layout::controls().end(),
                     [at](const layout::Control& c) { return text(c.name) == at->objectName(); })) {
        at = at->parentWidget();
    }
    if (!at) {
        at = this;
    }
    const QPoint local = at->mapFrom(this, event->pos());
    const QByteArray name = at->objectName().toUtf8();
    const std::string_view menuName =
        layout::popupAt(std::string_view(name.constData(), static_cast<std::size_t>(name.size())),
                        local.x(), local.y());
    QMenu* menu = m_menus.value(text(menuName));
    if (!menu) {
        event->ignore();
        return;
    }
    menu->popup(event->globalPos());
    event->accept();
}

// ---------------------------------------------------------------- tray, close

void TForm1::minimizeToTray() {
    if (QSystemTrayIcon::isSystemTrayAvailable() && tray->isVisible()) {
        hide();
    } else {
        showMinimized();
    }
}

void TForm1::restoreFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() &&
        QSystemTrayIcon::isSystemTrayAvailable() && tray->isVisible()) {
        // Every minimise goes to the tray: no taskbar entry, only the icon.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) {
                hide();
            }
        });
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!m_logic.closeRequested()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

} // namespace pressmark
