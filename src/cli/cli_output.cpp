#include "cli/cli_output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace quellaton::cli {

QString Table::text() const {
    QList<qsizetype> widths(header_.size(), 0);
    auto measure = [&](const QStringList& row) {
        for (qsizetype c = 0; c < row.size() && c < widths.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].size());
        }
    };
    measure(header_);
    for (const QStringList& row : rows_) {
        measure(row);
    }
    QString out;
    auto line = [&](const QStringList& row) {
        QString text;
        for (qsizetype c = 0; c < widths.size(); ++c) {
            const QString cell = row.value(c);
            text += c + 1 < widths.size() ? cell.leftJustified(widths[c] + 2) : cell;
        }
        while (text.endsWith(QLatin1Char(' '))) {
            text.chop(1);
        }
        out += text + QLatin1Char('\n');
    };
    line(header_);
    for (const QStringList& row : rows_) {
        line(row);
    }
    return out;
}

void PrintOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void PrintJson(const QJsonValue& document) {
    const QJsonDocument doc =
        document.isArray() ? QJsonDocument(document.toArray()) : QJsonDocument(document.toObject());
    PrintOut(QString::fromUtf8(doc.toJson(QJsonDocument::Indented)));
}

void PrintError(const QString& message) {
    const QByteArray bytes = (QStringLiteral("quellaton-cli: ") + message + '\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

namespace {
bool StderrIsTerminal() {
#ifdef Q_OS_UNIX
    return ::isatty(STDERR_FILENO) == 1;
#else
    return false;
#endif
}
} // namespace

ProgressBar::ProgressBar(QString label) : label_(std::move(label)), enabled_(StderrIsTerminal()) {}

ProgressBar::~ProgressBar() {
    if (drawn_) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
    }
}

void ProgressBar::show(int done, int total) {
    if (!enabled_ || total <= 0) {
        return;
    }
    const int percent = std::clamp(done * 100 / total, 0, 100);
    if (percent == lastPercent_) {
        return;
    }
    lastPercent_ = percent;
    constexpr int Width = 30;
    const int filled = percent * Width / 100;
    const QString bar = QStringLiteral("\r%1 [%2%3] %4%")
                            .arg(label_)
                            .arg(QString(filled, QLatin1Char('#')))
                            .arg(QString(Width - filled, QLatin1Char(' ')))
                            .arg(percent, 3);
    const QByteArray bytes = bar.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    drawn_ = true;
}

} // namespace quellaton::cli
