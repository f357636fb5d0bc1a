// The desktop program's implementations of the platform's message and event hooks:
// message boxes shown with QMessageBox, and the event pump of long operations.
#pragma once

#include "EventPump.h"
#include "Messages.h"

#include <QPointer>
#include <QString>
#include <QWidget>

// Turns the raw bytes of a path or message into display text and back. Paths are
// byte strings; they are shown as UTF-8 (invalid sequences become replacement marks).
QString ToQString(const std::string& bytes);

// Shows every message modally with the given caption and icon. The box is owned by
// the owner window (the main window once there is one); without one it has no owner.
class QtMessageSink final : public tvl::IMessageSink {
public:
    explicit QtMessageSink(QWidget* owner = nullptr) : m_owner(owner) {}
    void SetOwner(QWidget* owner) { m_owner = owner; }
    void ShowMessage(const std::string& caption, const std::string& text, tvl::MessageIcon icon) override;

private:
    QPointer<QWidget> m_owner;
};

// Lets Qt handle the events that are waiting (repaints, input, timers). The message
// pump of a scan calls it at most once a second.
class QtEventPump final : public tvl::IEventPump {
public:
    void ProcessPendingEvents() override;
};
