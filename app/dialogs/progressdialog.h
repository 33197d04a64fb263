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
// under it counts the events read so far.
class CZQ6Dialog : public QDialog
{
    Q_OBJECT

public:
    enum
    {
        IDD = 103,
        IDC_PROGRESS = 1000
    };

    // pParent: the window the download runs for; the dialog is owned by its
    // top-level window. No window is made until Create().
    explicit CZQ6Dialog(QWidget* pParent = nullptr);
    ~CZQ6Dialog() override;

    // Makes and shows the window; position 1 afterwards.
    bool Create();
    // One event taken: position = position % 100 + 1.
    void Advance();

    int GetPos() const { return m_position.Position(); }
    int EventsRead() const { return m_eventsRead; }
    QString CountText() const;
    QProgressBar* GetProgressCtrl() const { return m_pProgress; }
    QWidget* GetParentView() const { return m_pParentView; }

protected:
    virtual bool OnInitDialog();
    // The download cannot be interrupted: Esc and the close box do nothing.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    ProgressPosition m_position;
    QPointer<QWidget> m_pParentView;
    QProgressBar* m_pProgress = nullptr;
    QLabel* m_pCount = nullptr;
    int m_eventsRead = 0;
};

// The progress of a download shown in a CZQ6Dialog. Start, Advance and Finish
// may be called from the thread that runs the exchange: they are carried out
// on the thread of the windows. Start and Finish wait until that is done, so
// the dialog is gone when Finish returns, before any message is shown.
class CZQ6DialogProgress : public DownloadProgress
{
public:
    explicit CZQ6DialogProgress(QWidget* pParentView);
    ~CZQ6DialogProgress() override;

    void Start() override;
    void Advance() override;
    void Finish() override;

    CZQ6Dialog* GetDialog() const { return m_pDialog; }

private:
    void Run(const std::function<void()>& fn, bool wait);

    QPointer<QWidget> m_pParentView;
    QObject* m_pContext;            // lives on the window thread
    QPointer<CZQ6Dialog> m_pDialog; // touched on the window thread only
};
