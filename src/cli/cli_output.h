// What quellaton-cli prints: plain aligned tables or one JSON document on stdout, a progress
// bar on stderr when stderr is a terminal, and one-line error messages.
#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

namespace quellaton::cli {

// Exit status of every command.
enum ExitCode : int {
    Done = 0,
    LineFailed = 1, // no reply, time-out, port lost, port not opened
    BadUsage = 2,
    DamagedFile = 3,
};

class Table {
public:
    explicit Table(QStringList header) : header_(std::move(header)) {}
    void add(QStringList row) { rows_.append(std::move(row)); }
    bool isEmpty() const { return rows_.isEmpty(); }
    // Columns padded to their widest cell, two blanks apart; no trailing blanks.
    QString text() const;

private:
    QStringList header_;
    QList<QStringList> rows_;
};

void PrintOut(const QString& text);
void PrintJson(const QJsonValue& document);
// "quellaton-cli: " + message, on stderr.
void PrintError(const QString& message);

// A progress bar on stderr, drawn only when stderr is a terminal; finished by its destructor.
class ProgressBar {
public:
    explicit ProgressBar(QString label);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void show(int done, int total);

private:
    QString label_;
    bool enabled_;
    bool drawn_ = false;
    int lastPercent_ = -1;
};

} // namespace quellaton::cli
