#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <chrono>
#include <functional>

namespace orvik::legacy {

// What a reader wrote to its standard output and error, kept short: the lines are counted, alike
// lines (differing only in their numbers) are counted together, and only the first few kinds and
// the last few lines are kept, however much is written.
class WarningLog {
  public:
    void feed(const char* data, qsizetype size);
    void finish();  // a last line without its line break

    qint64 total() const { return total_; }
    // "「offset 1529856 is beyond EOF」（2 則）", the first kinds in the order they came.
    QStringList summary(int kinds) const;
    QStringList lastLines() const { return tail_; }

  private:
    void line(const QByteArray& bytes);

    struct Kind {
        QString example;
        qint64 count = 0;
    };
    QByteArray partial_;
    bool cutting_ = false;  // the rest of an overlong line is dropped
    qint64 total_ = 0;
    QVector<Kind> kinds_;
    QHash<QString, int> kindIndex_;
    qint64 otherKinds_ = 0;
    QStringList tail_;
};

// One old file read in a child process. The library that reads the old format can loop forever
// or crash on a damaged file, and neither can be stopped safely inside the process that calls it;
// a child can be killed. The child answers one request at a time: `serve` turns a request into
// its answer there. Each answer must come within the time limit, else the child is killed. Its
// standard output and error go into a WarningLog instead of the terminal, and a child that writes
// more warnings than any sound file gives is stopped too. Each of these ends is a LegacyError
// naming the file; so is a child that dies.
class ReaderProcess {
  public:
    using Serve = std::function<QByteArray(const QByteArray& request)>;
    static constexpr qint64 kMaxWarnings = 100000;

    ReaderProcess(QString path, Serve serve, std::chrono::milliseconds timeLimit);
    ~ReaderProcess();
    ReaderProcess(const ReaderProcess&) = delete;
    ReaderProcess& operator=(const ReaderProcess&) = delete;

    const QString& path() const { return path_; }
    QByteArray ask(const QByteArray& request);
    // Sends a request whose answer is wanted later, so that the child works on it while this
    // process goes on with the previous answer; ask() with the same request then takes it. The
    // time limit starts again when the answer is waited for.
    void prefetch(const QByteArray& request);
    // The answer to a prefetched request is no longer wanted.
    void discard(const QByteArray& request);
    const WarningLog& warnings();

  private:
    void send(const QByteArray& request);
    QByteArray receive();
    [[noreturn]] void stop(const QString& why, bool showFirst);
    [[noreturn]] void ended();
    bool drainWarnings(bool untilEnd);
    int reap(bool kill);  // the child's wait status

    QString path_;
    std::chrono::milliseconds limit_;
    pid_t pid_ = -1;
    int socket_ = -1;
    int errors_ = -1;
    QString failure_;
    WarningLog log_;
    bool prefetching_ = false;
    QByteArray prefetched_;                // the request sent ahead
    QHash<QByteArray, QByteArray> early_;  // answers received while another was asked for
};

}  // namespace orvik::legacy
