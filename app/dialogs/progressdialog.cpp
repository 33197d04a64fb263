#include "app/dialogs/progressdialog.h"

#include "app/dialogs/dialogtitle.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QThread>
#include <QVBoxLayout>

DownloadProgressDialog::DownloadProgressDialog(QWidget* view)
    : QDialog(view ? view->window() : nullptr), m_bar(new QProgressBar(this)),
      m_count(new QLabel(this))
{
    setWindowTitle(tr("Reading events from receiver"));
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    m_bar->setObjectName(QStringLiteral("progress"));
    m_bar->setTextVisible(false);
    m_bar->setRange(ProgressPosition::kMinimum, ProgressPosition::kMaximum);
    m_bar->setMinimumWidth(260);
    m_count->setObjectName(QStringLiteral("eventsRead"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(m_bar);
    layout->addWidget(m_count);
    m_position.Start();
    ShowPosition();
    adjustSize();
    setFixedSize(size());
    FitTitle(*this);
}

void DownloadProgressDialog::Start()
{
    m_position.Start();
    m_eventsRead = 0;
    m_started = true;
    ShowPosition();
    show();
}

void DownloadProgressDialog::Advance()
{
    if (!m_started)
        return;
    m_position.Advance();
    ++m_eventsRead;
    ShowPosition();
}

void DownloadProgressDialog::ShowPosition()
{
    m_bar->setValue(m_position.Position());
    m_count->setText(CountText());
}

QString DownloadProgressDialog::CountText() const
{
    return tr("Events read so far: %1").arg(QLocale().toString(m_eventsRead));
}

void DownloadProgressDialog::reject() {}

void DownloadProgressDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

WindowedDownloadProgress::WindowedDownloadProgress(QWidget* view)
    : m_view(view), m_context(new QObject)
{
}

WindowedDownloadProgress::~WindowedDownloadProgress()
{
    // Normally Finish() has already removed the dialog.
    delete m_dialog;
    delete m_context;
}

void WindowedDownloadProgress::Run(const std::function<void()>& fn, bool wait)
{
    if (QThread::currentThread() == m_context->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(m_context, fn,
                              wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void WindowedDownloadProgress::Start()
{
    Run(
        [this] {
            delete m_dialog;
            m_dialog = new DownloadProgressDialog(m_view);
            m_dialog->Start();
        },
        true);
}

void WindowedDownloadProgress::Advance()
{
    Run(
        [this] {
            if (m_dialog)
                m_dialog->Advance();
        },
        false);
}

void WindowedDownloadProgress::Finish()
{
    Run(
        [this] {
            delete m_dialog;
            m_dialog = nullptr;
        },
        true);
}
