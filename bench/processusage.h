#pragma once

#include <QByteArray>
#include <QMap>

// What this process has used so far, read from the kernel: the figures the benchmarks print
// beside their times.
namespace marlune::bench {

// A field of /proc/self/status in KiB, such as "VmRSS:" or "RssAnon:"; -1 when unreadable.
long statusKiB(const char* field);

// CPU time (user and system) of the whole process so far, ended threads included, in seconds.
double processCpuSeconds();

// One thread's CPU time (user and system) so far, in seconds, with its name.
struct ThreadCpu
{
    QByteArray name;
    double seconds = 0;
};

// Every thread still running, by its thread id.
QMap<int, ThreadCpu> threadCpu();

// CPU time spent between two readings by the threads whose name starts with `prefix`;
// threads started in between count from zero, threads ended in between are not seen.
double threadCpuSince(const QMap<int, ThreadCpu>& before, const QMap<int, ThreadCpu>& after,
                      const QByteArray& prefix);

} // namespace marlune::bench
