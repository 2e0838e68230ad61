#include "processusage.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/resource.h>
#include <unistd.h>

namespace marlune::bench {

long statusKiB(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<int>(qstrlen(field))).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

QMap<int, ThreadCpu> threadCpu()
{
    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    QMap<int, ThreadCpu> threads;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat("/proc/self/task/" + task + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) {
            continue; // ended meanwhile
        }
        // "tid (name) state ...": the name may hold spaces, so the fields are counted from
        // the last parenthesis; utime and stime are fields 14 and 15.
        const QByteArray line = stat.readAll();
        const int nameStart = line.indexOf('(') + 1;
        const int nameEnd = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
        if (nameStart <= 0 || nameEnd < nameStart || fields.size() < 13) {
            continue;
        }
        ThreadCpu thread;
        thread.name = line.mid(nameStart, nameEnd - nameStart);
        thread.seconds = (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticksPerSecond;
        threads.insert(task.toInt(), thread);
    }
    return threads;
}

double threadCpuSince(const QMap<int, ThreadCpu>& before, const QMap<int, ThreadCpu>& after,
                      const QByteArray& prefix)
{
    double seconds = 0;
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (it->name.startsWith(prefix)) {
            seconds += it->seconds - before.value(it.key()).seconds;
        }
    }
    return seconds;
}

} // namespace marlune::bench
