#pragma once

#include <QString>
#include <functional>

namespace kordex::shell {

// The one status window that every long operation shows: caption, status
// line and a gauge. An operation pumps events between its steps and stops
// when it finds the window no longer showing (the operator closed it).
class StatusWindow {
public:
    virtual ~StatusWindow() = default;
    virtual void Show(const QString& caption, const QString& text, int maximum) = 0;
    virtual void SetText(const QString& text) = 0;
    virtual QString Text() const = 0;
    virtual void Step(int by = 1) = 0;
    virtual void SetPosition(int position) = 0;
    virtual int Position() const = 0;
    virtual int Maximum() const = 0;
    // Process pending events once; the operator's key press may close the window here.
    virtual void Pump() = 0;
    virtual bool IsShowing() const = 0;
    // Closing a window that is already closed does nothing.
    virtual void Close() = 0;
};

// A status window without a screen: keeps its state, counts pumps, and can be
// told to close itself (as the operator would) at a chosen pump or gauge position.
class ScriptedStatusWindow : public StatusWindow {
public:
    void Show(const QString& caption, const QString& text, int maximum) override;
    void SetText(const QString& text) override { text_ = text; }
    QString Text() const override { return text_; }
    void Step(int by = 1) override;
    void SetPosition(int position) override;
    int Position() const override { return position_; }
    int Maximum() const override { return maximum_; }
    void Pump() override;
    bool IsShowing() const override { return showing_; }
    void Close() override;

    QString Caption() const { return caption_; }
    int Pumps() const { return pumps_; }
    int Shows() const { return shows_; }
    int Closes() const { return closes_; }

    // Close at the n-th pump from now (1 = the next one); 0 switches it off.
    void CloseAtPump(int n) { closeAtPump_ = n > 0 ? pumps_ + n : 0; }
    // Close as soon as the gauge reaches this position; -1 switches it off.
    void CloseAtPosition(int position) { closeAtPosition_ = position; }
    // Called on every pump, before the close checks.
    void OnPump(std::function<void()> hook) { onPump_ = std::move(hook); }

private:
    void CheckPosition();

    QString caption_, text_;
    int maximum_ = 0;
    int position_ = 0;
    bool showing_ = false;
    int pumps_ = 0, shows_ = 0, closes_ = 0;
    int closeAtPump_ = 0;
    int closeAtPosition_ = -1;
    std::function<void()> onPump_;
};

}  // namespace kordex::shell
