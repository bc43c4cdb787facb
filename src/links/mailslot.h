#pragma once

#include <cstddef>
#include <limits>
#include <string>

namespace kyvern::links {

// The owner side of a named message slot: a Unix datagram socket bound in the runtime folder.
// One owner per name at a time; the owner holds an advisory lock beside the socket, so a
// socket file left by an owner that crashed is recognised as stale and replaced.
class Mailslot {
public:
    static constexpr std::size_t kNoMessage = std::numeric_limits<std::size_t>::max();

    Mailslot() = default;
    ~Mailslot();
    Mailslot(const Mailslot&) = delete;
    Mailslot& operator=(const Mailslot&) = delete;

    // Creates the slot; false when another owner holds the name or the socket cannot be made.
    bool Create(const std::string& name);
    void Close();
    bool IsOpen() const { return socket_ >= 0; }

    // The size of the next waiting message in size, or kNoMessage when none waits; false when
    // the slot cannot be asked.
    bool NextMessageSize(std::size_t& size) const;
    // Reads one message, waiting up to timeoutMs for it (0: do not wait). A longer message is
    // cut to capacity. The number of bytes read, or -1 when none came or the read failed.
    long Read(void* buffer, std::size_t capacity, int timeoutMs) const;

private:
    int socket_ = -1;
    int lock_ = -1;
    std::string path_;
};

// The writer side: sends one datagram per message to the slot of a name. Writes go to every
// owner that listens under the name, which is at most one; with no listener the message is
// lost without an error, as a broadcast is.
class MailslotWriter {
public:
    MailslotWriter() = default;
    ~MailslotWriter();
    MailslotWriter(const MailslotWriter&) = delete;
    MailslotWriter& operator=(const MailslotWriter&) = delete;

    bool Open(const std::string& name);
    void Close();
    bool IsOpen() const { return socket_ >= 0; }
    // True when the message was delivered or lost for want of a listener; false when the
    // writer is closed, the message is too big, or the listener's queue is full.
    bool Write(const void* data, std::size_t size) const;

private:
    int socket_ = -1;
    std::string path_;
};

}  // namespace kyvern::links
