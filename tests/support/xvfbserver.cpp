// SPDX-License-Identifier: GPL-3.0-or-later
#include "xvfbserver.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <unistd.h>

XvfbServer::XvfbServer(const QString &screen)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    // The server picks a free display number and writes it to the descriptor
    // named by -displayfd: the pipe's write end, which the child inherits.
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    // Through a shell that becomes the server (exec) and leaves a watcher
    // behind, so the server ends with this process even when a crash or a
    // test time-out kills it before the destructor runs.
    const QString script =
        QStringLiteral("(while kill -0 %1 2>/dev/null && kill -0 $$ 2>/dev/null; do sleep 1; done;"
                       " kill $$ 2>/dev/null) >/dev/null 2>&1 &"
                       " exec Xvfb \"$@\"")
            .arg(::getpid());
    process.setProgram(QStringLiteral("sh"));
    process.setArguments(
        {QStringLiteral("-c"), script, QStringLiteral("sh"), QStringLiteral("-displayfd"),
         QString::number(fds[1]), QStringLiteral("-screen"), QStringLiteral("0"), screen,
         QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start();
    ::close(fds[1]);
    if (!process.waitForStarted(10000)) {
        ::close(fds[0]);
        return;
    }
    QByteArray number;
    char c;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        const ssize_t n = ::read(fds[0], &c, 1);
        if (n <= 0 || c == '\n')
            break;
        number.append(c);
    }
    ::close(fds[0]);
    if (!number.isEmpty())
        name = QStringLiteral(":") + QString::fromLatin1(number);
}

XvfbServer::~XvfbServer()
{
    kill();
}

void XvfbServer::kill()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}
