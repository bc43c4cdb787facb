#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "base/user_prompts.h"

namespace kyvern::base {

// The outcome of an operation that can fail for a reason the user must read. The core returns
// it and never shows it; the layer that talks to the user decides where the reason goes (a
// message box, the message list, standard error). Operations whose failure must not pass unseen
// are declared [[nodiscard]].
class Status {
public:
    Status() = default;
    static Status Failure(std::string reason) { return Status(std::move(reason)); }

    bool Ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    // The user's text of the failure, empty on success.
    const std::string& Reason() const { return reason_; }

private:
    explicit Status(std::string reason) : ok_(false), reason_(std::move(reason)) {}
    bool ok_ = true;
    std::string reason_;
};

// Shows a failure's reason as a message; true when the status is a success. A failure without
// a reason (nothing there to do) shows nothing.
inline bool Show(const Status& status, UserPrompts& prompts) {
    if (!status && !status.Reason().empty()) prompts.Message(status.Reason());
    return status.Ok();
}

}  // namespace kyvern::base
