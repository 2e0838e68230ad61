#include "runningprogrammark.h"

#include <qt_windows.h>

#include <iterator>

namespace {

// The installer looks for both: the session's own name, and the global one, which it sees
// from another user's session too. Where another user's program already made the global one,
// its access rights keep this program from opening it; the session's name then does.
constexpr const wchar_t* kNames[] = {L"" MARLUNE_RUNNING_MUTEX, L"Global\\" MARLUNE_RUNNING_MUTEX};

} // namespace

struct RunningProgramMark::Handles
{
    HANDLE mutexes[std::size(kNames)] = {};

    ~Handles()
    {
        for (HANDLE mutex : mutexes) {
            if (mutex) {
                CloseHandle(mutex);
            }
        }
    }
};

// Only the name counts: a second copy of a program opens the same mutexes, which stay until
// the last copy ends.
RunningProgramMark::RunningProgramMark() : m_handles(std::make_unique<Handles>())
{
    for (std::size_t index = 0; index < std::size(kNames); ++index) {
        m_handles->mutexes[index] = CreateMutexW(nullptr, FALSE, kNames[index]);
    }
}

RunningProgramMark::~RunningProgramMark() = default;
