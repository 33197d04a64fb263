#pragma once

#include "download/progressposition.h"
#include "download/services.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;

// "Reading events from receiver": a small modeless window whose bar moves one
// step for every event taken. The number of events is not known beforehand,
// so the bar fills over 99 events and starts again from the left; a line
// under it counts the events read so far. The download cannot be
// interrupted: Esc and the close box do nothing.
class DownloadProgressDialog : public QDialog
{
    Q_OBJECT

public:
    // view: the window the download runs for; the dialog is owned by its
    // top-level window.
    explicit DownloadProgressDialog(QWidget* view = nullptr);

    // Shows the window at position 1, no event read yet.
    void Start();
    // One event taken: position = position % 100 + 1. Nothing before Start().
    void Advance();

    int Position() const { return m_position.Position(); }
    int EventsRead() const { return m_eventsRead; }
    QString CountText() const;
    QProgressBar* ProgressBar() const { return m_bar; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowPosition();

    ProgressPosition m_position;
    QProgressBar* m_bar;
    QLabel* m_count;
    int m_eventsRead = 0;
    bool m_started = false;
};

// The progress of a download shown in a DownloadProgressDialog. Start,
// Advance and Finish may be called from the thread that runs the exchange:
// they are carried out on the thread of the windows. Start and Finish wait
// until that is done, so the dialog is gone when Finish returns, before any
// message is shown.
class WindowedDownloadProgress : public DownloadProgress
{
public:
    explicit WindowedDownloadProgress(QWidget* view);
    ~WindowedDownloadProgress() override;
    WindowedDownloadProgress(const WindowedDownloadProgress&) = delete;
    WindowedDownloadProgress& operator=(const WindowedDownloadProgress&) = delete;

    void Start() override;
    void Advance() override;
    void Finish() override;

    DownloadProgressDialog* Dialog() const { return m_dialog; }

private:
    void Run(const std::function<void()>& fn, bool wait);

    QPointer<QWidget> m_view;
    QObject* m_context;                        // lives on the window thread
    QPointer<DownloadProgressDialog> m_dialog; // touched on the window thread only
};
