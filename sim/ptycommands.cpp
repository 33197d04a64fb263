// The commands the simulator reads from standard input: add events, show the
// receiver's state, quit.

#include "ptyloop.h"
#include "ptysupport.h"

#include <QCoreApplication>
#include <cstdio>

namespace zqsim {

namespace {

QString describe(const Event& event)
{
    return QCoreApplication::translate("PtyLoop", "counter %1, user field %2, button %3 (word %4)")
        .arg(hex(event.counter, 6))
        .arg(event.user)
        .arg(event.button ? 1 : 0)
        .arg(hex(encodeEvent(event), 8));
}

} // namespace

void PtyLoop::handleCommandLine(Receiver& receiver, const QString& line)
{
    const Command command = parseCommand(line);
    const qint64 t = nowMs();
    switch (command.kind) {
    case Command::Empty:
        break;
    case Command::Invalid:
        say(QCoreApplication::translate("PtyLoop", "error: %1").arg(command.error));
        break;
    case Command::Add:
        if (const auto event = receiver.addEvent(command.user, command.button, t))
            say(QCoreApplication::translate("PtyLoop", "added: %1; %2 events in the log")
                    .arg(describe(*event))
                    .arg(receiver.log().size()));
        else
            say(QCoreApplication::translate(
                "PtyLoop", "error: at counter 0 an event of user field 0 without the button "
                           "would be the end word; not added"));
        break;
    case Command::AddRandom: {
        const QList<Event> added = receiver.addRandom(command.count, t);
        say(QCoreApplication::translate("PtyLoop",
                                        "added %1 random events, newest: %2; %3 events in the log")
                .arg(added.size())
                .arg(describe(added.last()))
                .arg(receiver.log().size()));
        break;
    }
    case Command::Status:
        say(QCoreApplication::translate("PtyLoop",
                                        "counter %1; %2 events in the log%3; %4 sessions so far%5")
                .arg(hex(receiver.counterAt(t), 6))
                .arg(receiver.log().size())
                .arg(receiver.log().isEmpty()
                         ? QString()
                         : QCoreApplication::translate("PtyLoop", ", newest %1")
                               .arg(describe(receiver.log().last())))
                .arg(receiver.sessions())
                .arg(receiver.sessionActive()
                         ? QCoreApplication::translate("PtyLoop", ", one under way")
                         : QString()));
        break;
    case Command::Help:
        std::fputs(qPrintable(commandHelp()), stderr);
        std::fflush(stderr);
        break;
    case Command::Quit:
        m_quit = true;
        break;
    }
}

} // namespace zqsim
