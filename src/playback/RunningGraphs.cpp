// SPDX-License-Identifier: GPL-3.0-or-later
// The table of running graphs.
#include "playback/GraphPlayer.h"

#include <map>
namespace {

// The table of live graphs of this process, so outside tools (and our leak checks) can
// see which graphs exist. Cookies start at 1; 0 means "not registered".
struct RunningGraphTable {
    std::map<uint32_t, QString> entries;
    uint32_t nextCookie = 1;
};
RunningGraphTable& Rot() {
    static RunningGraphTable table;
    return table;
}

} // namespace

void CGraphPlayer::RegisterInRot() {
    RunningGraphTable& table = Rot();
    const uint32_t cookie = table.nextCookie++;
    if (table.nextCookie == 0)
        table.nextCookie = 1;
    table.entries[cookie] =
        QString::asprintf("FilterGraph %p pid %08x", static_cast<void*>(m_pipeline.get()),
                          static_cast<unsigned>(getpid()));
    m_dwRotRegister = cookie;
}

void CGraphPlayer::RevokeFromRot() {
    Rot().entries.erase(m_dwRotRegister);
    m_dwRotRegister = 0;
}

int CGraphPlayer::LiveGraphCount() {
    return int(Rot().entries.size());
}

QString CGraphPlayer::RotEntryName(uint32_t cookie) {
    const auto it = Rot().entries.find(cookie);
    return it == Rot().entries.end() ? QString() : it->second;
}
