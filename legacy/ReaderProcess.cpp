#include "ReaderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio_ext.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QRegularExpression>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "Source.h"

namespace orvik::legacy {

namespace {

using Clock = std::chrono::steady_clock;

constexpr qsizetype kMaxLine = 300;
constexpr int kKeptKinds = 20;
constexpr int kKeptLast = 3;
constexpr quint32 kMaxFrame = 256u << 20;  // far above the largest batch the child sends

bool sendAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

bool sendFrame(int fd, const QByteArray& payload) {
    const quint32 size = quint32(payload.size());
    char head[4];
    std::memcpy(head, &size, 4);
    return sendAll(fd, head, 4) && sendAll(fd, payload.constData(), size_t(payload.size()));
}

bool receiveAll(int fd, char* p, size_t n) {
    while (n > 0) {
        const ssize_t r = ::recv(fd, p, n, 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

quint32 frameSize(const char* head) {
    quint32 size;
    std::memcpy(&size, head, 4);
    return size;
}

// The child: answers requests until the parent goes away. It never returns, and ends with _exit
// so that nothing of the parent (buffered output, open databases) is flushed or closed twice.
[[noreturn]] void serveRequests(pid_t parent, int socket, int errors,
                                const ReaderProcess::Serve& serve) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a killed import takes its readers with it
    if (::getppid() != parent)
        ::_exit(1);
    __fpurge(stdout);
    __fpurge(stderr);
    socket = ::fcntl(socket, F_DUPFD, 10);  // out of the way, should it be 1 or 2
    ::dup2(errors, STDOUT_FILENO);
    ::dup2(errors, STDERR_FILENO);
    ::dup2(socket, 3);
    ::close_range(4, ~0u, 0);  // the parent's other files, other readers' sockets among them
    for (;;) {
        char head[4];
        if (!receiveAll(3, head, 4))
            ::_exit(0);
        QByteArray request(qsizetype(frameSize(head)), Qt::Uninitialized);
        if (!receiveAll(3, request.data(), size_t(request.size())))
            ::_exit(0);
        QByteArray answer;
        try {
            answer = serve(request);
        } catch (...) {
            ::_exit(2);
        }
        if (!sendFrame(3, answer))
            ::_exit(0);
    }
}

QString describe(int status) {
    if (WIFSIGNALED(status))
        return QStringLiteral("讀取程式異常結束（訊號 %1）").arg(WTERMSIG(status));
    return QStringLiteral("讀取程式意外結束（結束碼 %1）").arg(WEXITSTATUS(status));
}

}  // namespace

void WarningLog::feed(const char* data, qsizetype size) {
    const char* p = data;
    const char* end = data + size;
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* stop = nl ? nl : end;
        if (!cutting_) {
            const qsizetype room = kMaxLine - partial_.size();
            partial_.append(p, std::min(room, qsizetype(stop - p)));
            cutting_ = stop - p > room;
        }
        if (!nl)
            break;
        line(partial_);
        partial_.clear();
        cutting_ = false;
        p = nl + 1;
    }
}

void WarningLog::finish() {
    if (!partial_.isEmpty())
        line(partial_);
    partial_.clear();
    cutting_ = false;
}

void WarningLog::line(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes).trimmed();
    if (text.isEmpty())
        return;
    ++total_;
    tail_ << text;
    if (tail_.size() > kKeptLast)
        tail_.removeFirst();
    // "page 17 from map" and "page 18 from map" are one kind of warning.
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    const QString key = QString(text).replace(digits, QStringLiteral("#"));
    const auto it = kindIndex_.constFind(key);
    if (it != kindIndex_.constEnd()) {
        ++kinds_[*it].count;
    } else if (kinds_.size() < kKeptKinds) {
        kindIndex_.insert(key, int(kinds_.size()));
        kinds_.push_back({text, 1});
    } else {
        ++otherKinds_;
    }
}

QStringList WarningLog::summary(int kinds) const {
    QStringList lines;
    qint64 rest = otherKinds_;
    for (int i = 0; i < kinds_.size(); ++i) {
        const Kind& k = kinds_.at(i);
        if (i >= kinds) {
            rest += k.count;
            continue;
        }
        lines << (k.count > 1 ? QStringLiteral("「%1」（%2 則）").arg(k.example).arg(k.count)
                              : QStringLiteral("「%1」").arg(k.example));
    }
    if (rest > 0)
        lines << QStringLiteral("其他 %1 則").arg(rest);
    return lines;
}

ReaderProcess::ReaderProcess(QString path, Serve serve, std::chrono::milliseconds timeLimit)
    : path_(std::move(path)), limit_(timeLimit) {
    int sockets[2];
    int output[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        throw LegacyError(QStringLiteral("%1: 無法啟動讀取程式").arg(path_));
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(sockets[0]);
        ::close(sockets[1]);
        throw LegacyError(QStringLiteral("%1: 無法啟動讀取程式").arg(path_));
    }
    std::fflush(nullptr);  // or the child's copy of unwritten output would be written twice
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(sockets[0]);
        ::close(output[0]);
        serveRequests(parent, sockets[1], output[1], serve);
    }
    ::close(sockets[1]);
    ::close(output[1]);
    if (pid_ < 0) {
        ::close(sockets[0]);
        ::close(output[0]);
        throw LegacyError(QStringLiteral("%1: 無法啟動讀取程式").arg(path_));
    }
    socket_ = sockets[0];
    errors_ = output[0];
    ::fcntl(errors_, F_SETFL, O_NONBLOCK);
}

ReaderProcess::~ReaderProcess() {
    reap(true);
}

QByteArray ReaderProcess::ask(const QByteArray& request) {
    if (!failure_.isEmpty())
        throw LegacyError(failure_);
    const auto early = early_.constFind(request);
    if (early != early_.constEnd())
        return early_.take(request);
    if (prefetching_) {
        prefetching_ = false;
        const QByteArray answer = receive();
        if (prefetched_ == request)
            return answer;
        early_.insert(prefetched_, answer);
    }
    send(request);
    return receive();
}

void ReaderProcess::prefetch(const QByteArray& request) {
    if (!failure_.isEmpty() || prefetching_ || early_.contains(request))
        return;
    send(request);
    prefetching_ = true;
    prefetched_ = request;
}

void ReaderProcess::discard(const QByteArray& request) {
    early_.remove(request);
    if (prefetching_ && prefetched_ == request && failure_.isEmpty()) {
        prefetching_ = false;
        receive();
    }
}

void ReaderProcess::send(const QByteArray& request) {
    if (!sendFrame(socket_, request))
        ended();
}

QByteArray ReaderProcess::receive() {
    const Clock::time_point deadline = Clock::now() + limit_;
    QByteArray in;
    qint64 need = -1;
    char chunk[1 << 16];
    for (;;) {
        if (need < 0 && in.size() >= 4) {
            const quint32 size = frameSize(in.constData());
            if (size > kMaxFrame)
                stop(QStringLiteral("讀取程式傳回的資料不合理"), false);
            need = 4 + qint64(size);
        }
        if (need >= 0 && in.size() >= need) {
            drainWarnings(false);
            return in.mid(4, need - 4);
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            stop(QStringLiteral("讀取逾時（%1 秒內沒有讀完一批資料），檔案可能已損壞，已停止讀取")
                     .arg(double(limit_.count()) / 1000.0),
                 false);
        pollfd fds[2] = {{socket_, POLLIN, 0}, {errors_, POLLIN, 0}};
        if (::poll(fds, 2, int(std::min<long long>(left, INT_MAX))) < 0) {
            if (errno == EINTR)
                continue;
            stop(QStringLiteral("無法等候讀取程式（%1）")
                     .arg(QString::fromLocal8Bit(strerror(errno))),
                 false);
        }
        if (fds[1].revents != 0) {
            drainWarnings(false);
            if (log_.total() > kMaxWarnings)
                stop(QStringLiteral("讀取時出現過多警告（超過 %1 則），檔案可能已損壞，已停止讀取")
                         .arg(kMaxWarnings),
                     true);
        }
        if (fds[0].revents != 0) {
            const ssize_t n = ::recv(socket_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                ended();
            if (n > 0)
                in.append(chunk, n);
        }
    }
}

const WarningLog& ReaderProcess::warnings() {
    drainWarnings(false);
    return log_;
}

bool ReaderProcess::drainWarnings(bool untilEnd) {
    char chunk[1 << 16];
    // Without untilEnd, a bounded amount at a time, so that a reader writing without end still
    // leaves room to notice the time limit.
    for (int i = 0; errors_ >= 0 && (untilEnd || i < 16); ++i) {
        const ssize_t n = ::read(errors_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            if (!untilEnd)
                return false;
            pollfd fd{errors_, POLLIN, 0};
            if (::poll(&fd, 1, 1000) <= 0)
                break;
            continue;
        }
        if (n <= 0) {
            log_.finish();
            ::close(errors_);
            errors_ = -1;
            return false;
        }
        log_.feed(chunk, n);
    }
    return errors_ >= 0;
}

int ReaderProcess::reap(bool kill) {
    int status = 0;
    if (pid_ > 0) {
        if (!kill) {
            // The child closes its end by ending; give it a moment to do so.
            for (int i = 0; i < 100; ++i) {
                if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                    pid_ = -1;
                    break;
                }
                ::usleep(10000);
            }
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
        }
    }
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
    drainWarnings(true);
    return status;
}

void ReaderProcess::stop(const QString& why, bool showFirst) {
    reap(true);
    QString message = QStringLiteral("%1: %2").arg(path_, why);
    const QStringList lines = showFirst ? log_.summary(3) : log_.lastLines();
    if (!lines.isEmpty())
        message += QStringLiteral("；讀取程式的訊息：%1").arg(lines.join(QStringLiteral("；")));
    failure_ = message;
    throw LegacyError(message);
}

void ReaderProcess::ended() {
    const int status = reap(false);
    QString message = QStringLiteral("%1: %2，檔案可能已損壞").arg(path_, describe(status));
    const QStringList lines = log_.lastLines();
    if (!lines.isEmpty())
        message += QStringLiteral("；讀取程式最後的訊息：%1").arg(lines.join(QStringLiteral("；")));
    failure_ = message;
    throw LegacyError(message);
}

}  // namespace orvik::legacy
