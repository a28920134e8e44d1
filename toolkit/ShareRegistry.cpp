#include "ShareRegistry.h"

#include "Streams.h"

#include <sys/stat.h>

namespace orvex {

ShareRegistry& ShareRegistry::Instance()
{
    static ShareRegistry registry;
    return registry;
}

int ShareRegistry::Acquire(dev_t device, ino_t inode, unsigned access, unsigned share, std::uint64_t* ticket)
{
    Holder wanted{device, inode, access != fmOpenWrite, access != fmOpenRead,
                  share == fmShareDenyWrite || share == fmShareDenyNone,
                  share == fmShareDenyRead || share == fmShareDenyNone};
    std::lock_guard lock(m_mutex);
    for (const auto& [id, held] : m_holders) {
        if (held.device != device || held.inode != inode)
            continue;
        const bool accessRefused = (wanted.reads && !held.sharesRead) || (wanted.writes && !held.sharesWrite);
        const bool shareRefused = (held.reads && !wanted.sharesRead) || (held.writes && !wanted.sharesWrite);
        if (accessRefused || shareRefused)
            return kSharingViolation;
    }
    *ticket = m_next++;
    m_holders.emplace(*ticket, wanted);
    return 0;
}

int ShareRegistry::Acquire(const char* path, unsigned access, unsigned share, std::uint64_t* ticket)
{
    struct stat info {};
    *ticket = 0;
    if (::stat(path, &info) != 0)
        return 0;
    return Acquire(info.st_dev, info.st_ino, access, share, ticket);
}

void ShareRegistry::Release(std::uint64_t ticket)
{
    if (ticket == 0)
        return;
    std::lock_guard lock(m_mutex);
    m_holders.erase(ticket);
}

} // namespace orvex
