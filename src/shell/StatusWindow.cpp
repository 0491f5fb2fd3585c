#include "StatusWindow.h"

namespace kordex::shell {

void ScriptedStatusWindow::Show(const QString& caption, const QString& text, int maximum) {
    caption_ = caption;
    text_ = text;
    maximum_ = maximum;
    position_ = 0;
    showing_ = true;
    ++shows_;
}

void ScriptedStatusWindow::Step(int by) {
    position_ += by;
    CheckPosition();
}

void ScriptedStatusWindow::SetPosition(int position) {
    position_ = position;
    CheckPosition();
}

void ScriptedStatusWindow::CheckPosition() {
    if (showing_ && closeAtPosition_ >= 0 && position_ >= closeAtPosition_) Close();
}

void ScriptedStatusWindow::Pump() {
    ++pumps_;
    if (onPump_) onPump_();
    if (showing_ && closeAtPump_ > 0 && pumps_ >= closeAtPump_) {
        closeAtPump_ = 0;
        Close();
    }
}

void ScriptedStatusWindow::Close() {
    if (!showing_) return;
    showing_ = false;
    ++closes_;
}

}  // namespace kordex::shell
