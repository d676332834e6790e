#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT (the session ending, the terminal closing, Ctrl+C) into a
// signal on the event loop, so the program can end the way it always ends.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};
