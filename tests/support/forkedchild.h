#ifndef FORKEDCHILD_H
#define FORKEDCHILD_H

#include <QByteArray>
#include <QString>

#include <functional>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs body in a forked child, so that a resource limit or a lowered identity
// it sets never touches the rest of the suite. body writes what the parent
// should see into its argument and returns the child's exit code.
struct ChildRun {
    QByteArray output;
    int exitCode = -1; // -1: the child did not exit normally
    QString error;     // the child could not be run
};

inline ChildRun runInChild(const std::function<int(QByteArray &output)> &body)
{
    ChildRun run;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        run.error = QStringLiteral("no pipe");
        return run;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        QByteArray output;
        const int code = body(output);
        const bool sent = ::write(fds[1], output.constData(), size_t(output.size())) == output.size();
        ::_exit(sent ? code : 125);
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        run.error = QStringLiteral("fork failed");
        return run;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        run.output.append(buffer, int(n));
    ::close(fds[0]);
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    run.exitCode = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

#endif // FORKEDCHILD_H
