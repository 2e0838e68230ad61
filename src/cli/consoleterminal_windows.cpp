#include "consoleterminal.h"

#include <QIODevice>
#include <QString>

#include <io.h>
#include <qt_windows.h>

namespace {

// A console shows text in its own code page when given bytes, so a character outside it
// comes out as "?" or as another character. Given UTF-16, it shows every character. Takes
// the stream's UTF-8 and hands the console whole characters only: a write may end inside
// one, whose rest then waits for the next write.
class ConsoleWriter : public QIODevice
{
public:
    explicit ConsoleWriter(HANDLE console) : m_console(console)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 size) override
    {
        m_pending.append(data, static_cast<int>(size));
        const int complete = completeLength(m_pending);
        const QString text = QString::fromUtf8(m_pending.constData(), complete);
        m_pending.remove(0, complete);
        const auto* characters = reinterpret_cast<const wchar_t*>(text.utf16());
        DWORD left = static_cast<DWORD>(text.size());
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(m_console, characters, left, &written, nullptr) || written == 0) {
                return -1;
            }
            characters += written;
            left -= written;
        }
        return size;
    }

private:
    // The length of the bytes that end with a whole UTF-8 character.
    static int completeLength(const QByteArray& bytes)
    {
        const int size = bytes.size();
        for (int back = 1; back <= 3 && back <= size; ++back) {
            const auto byte = static_cast<unsigned char>(bytes.at(size - back));
            if ((byte & 0xC0) == 0x80) {
                continue; // a continuation byte: its lead byte is further back
            }
            const int needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            return needed > back ? size - back : size;
        }
        return size;
    }

    HANDLE m_console;
    QByteArray m_pending;
};

// A QTextStream owns no device it is given: this one keeps its writer with it.
class ConsoleTextStream : public QTextStream
{
public:
    explicit ConsoleTextStream(HANDLE console) : m_writer(console) { setDevice(&m_writer); }
    // Let go of the writer before it goes, flushed.
    ~ConsoleTextStream() override { setDevice(nullptr); }

private:
    ConsoleWriter m_writer;
};

void useUtf8(QTextStream& stream)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    stream.setCodec("UTF-8");
#else
    stream.setEncoding(QStringConverter::Utf8);
#endif
}

} // namespace

bool marlune::isTerminal(FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

std::unique_ptr<QTextStream> marlune::openTextStream(FILE* stream)
{
    // _isatty is true for any character device (NUL too); only a console has a console mode.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    std::unique_ptr<QTextStream> text;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        text = std::make_unique<ConsoleTextStream>(handle);
    } else {
        text = std::make_unique<QTextStream>(stream);
    }
    useUtf8(*text);
    return text;
}
