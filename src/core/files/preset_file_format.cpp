#include "files/preset_file_format.h"

#include "dsp/scales.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quellaton {

QList<QByteArray> SplitPresetLines(QByteArrayView content) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    qsizetype at = 0;
    const qsizetype size = content.size();
    while (at < size) {
        const char c = content[at];
        if (c == '\r' || c == '\n') {
            lines.append(content.sliced(start, at - start).toByteArray());
            if (c == '\r' && at + 1 < size && content[at + 1] == '\n') {
                ++at;
            }
            start = at + 1;
        }
        ++at;
    }
    if (start < size) {
        lines.append(content.sliced(start).toByteArray());
    }
    return lines;
}

bool IsPresetLine(QByteArrayView line) {
    return line.size() == PresetLineChars && IsHexText(line);
}

SinglePresetText ReadSinglePresetText(QByteArrayView content) {
    SinglePresetText result;
    QByteArray joined;
    for (const QByteArray& line : SplitPresetLines(content)) {
        joined.append(line);
    }
    if (joined.isEmpty()) {
        result.status = PresetFileStatus::Empty;
        return result;
    }
    if (!IsPresetLine(joined)) {
        result.status = PresetFileStatus::Damaged;
        return result;
    }
    result.status = PresetFileStatus::Ok;
    result.text = joined;
    return result;
}

AllPresetsText ReadAllPresetsText(QByteArrayView content) {
    AllPresetsText result;
    const QList<QByteArray> lines = SplitPresetLines(content);
    if (lines.isEmpty()) {
        result.status = PresetFileStatus::Empty;
        return result;
    }
    if (lines.size() != AllPresetsLineCount) {
        result.status = PresetFileStatus::Damaged;
        return result;
    }
    for (const QByteArray& line : lines) {
        if (!IsPresetLine(line)) {
            result.status = PresetFileStatus::Damaged;
            return result;
        }
    }
    result.status = PresetFileStatus::Ok;
    result.lines = lines;
    return result;
}

// A named pipe or a device would block the open or the read for as long as nobody writes to
// it; on POSIX systems the open itself does not wait (O_NONBLOCK), and the type is checked on
// the opened file.
bool OpenRegularFile(const QString& path, QFile& file) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
#else
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
#endif
}

PresetFileStatus ReadPresetFile(const QString& path, QByteArray& content) {
    content.clear();
    QFile file;
    if (!OpenRegularFile(path, file)) {
        return PresetFileStatus::Damaged;
    }
    // Read one byte beyond the limit so that an oversized file is told from one at the limit
    // (a file's reported size is not trusted: devices and pipes report 0).
    QByteArray data = file.read(PresetFileSizeLimit + 1);
    if (data.size() > PresetFileSizeLimit || file.error() != QFileDevice::NoError) {
        return PresetFileStatus::Damaged;
    }
    content = std::move(data);
    return content.isEmpty() ? PresetFileStatus::Empty : PresetFileStatus::Ok;
}

SinglePresetText LoadSinglePresetFile(const QString& path) {
    QByteArray content;
    if (ReadPresetFile(path, content) == PresetFileStatus::Damaged) {
        return {PresetFileStatus::Damaged, {}};
    }
    return ReadSinglePresetText(content);
}

AllPresetsText LoadAllPresetsFile(const QString& path) {
    QByteArray content;
    if (ReadPresetFile(path, content) == PresetFileStatus::Damaged) {
        return {PresetFileStatus::Damaged, {}};
    }
    return ReadAllPresetsText(content);
}

QByteArray PresetFileContent(const QList<QByteArray>& lines) {
    QByteArray content;
    content.reserve(lines.size() * (PresetLineChars + 2));
    for (const QByteArray& line : lines) {
        content.append(line.toUpper());
        content.append("\r\n");
    }
    return content;
}

bool WritePresetFile(const QString& path, const QList<QByteArray>& lines, QString* error) {
    return WritePresetContent(path, PresetFileContent(lines), error);
}

bool WritePresetContent(const QString& path, const QByteArray& content, QString* error) {
    QSaveFile file(path);
    auto fail = [&](const QString& why) {
        if (error) {
            *error = why;
        }
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(file.errorString());
    }
    // Flush before committing and check: a write that stops short (a full disk, a file size
    // limit) shows up here, while commit() alone can replace the old file with a short one.
    if (file.write(content) != content.size() || !file.flush() ||
        file.error() != QFileDevice::NoError || file.size() != content.size()) {
        return fail(file.errorString());
    }
    if (!file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

} // namespace quellaton
