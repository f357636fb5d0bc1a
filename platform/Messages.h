// Modal messages as the engine and the document report them: a caption naming the
// operation, a text and an icon. The user is told once; callers only pass failure on.
#pragma once

#include <string>
#include <vector>

namespace tvl {

enum class MessageIcon { Error, Information };

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    // Shows the message and returns when the user has acknowledged it.
    virtual void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
};

// Keeps every message (tests, and callers that report them later).
class RecordingMessageSink final : public IMessageSink {
public:
    struct Message {
        std::string caption;
        std::string text;
        MessageIcon icon;
    };
    void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override
    {
        messages.push_back({caption, text, icon});
    }
    std::vector<Message> messages;
};

} // namespace tvl
