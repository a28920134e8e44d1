#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>

namespace orvex {

// The files this process holds open, with the access each holder asked for
// and what it lets others do. An open is refused when its access is not
// shared by a holder, or when it does not share what a holder already has.
// Used by file streams and by the media devices.
class ShareRegistry {
public:
    static ShareRegistry& Instance();

    // access: fmOpenRead/Write/ReadWrite; share: one of the fmShare modes.
    // Returns 0 and a ticket, or the sharing-violation error number.
    int Acquire(dev_t device, ino_t inode, unsigned access, unsigned share, std::uint64_t* ticket);
    // Acquire by path; a file that does not exist is not registered (ticket 0).
    int Acquire(const char* path, unsigned access, unsigned share, std::uint64_t* ticket);
    void Release(std::uint64_t ticket);

private:
    struct Holder {
        dev_t device;
        ino_t inode;
        bool reads, writes;
        bool sharesRead, sharesWrite;
    };
    std::mutex m_mutex;
    std::map<std::uint64_t, Holder> m_holders;
    std::uint64_t m_next = 1;
};

} // namespace orvex
