#include "app/dialogs/progressdialog.h"

#include "app/dialogs/dialogtitle.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QThread>
#include <QVBoxLayout>

CZQ6Dialog::CZQ6Dialog(QWidget* pParent)
    : QDialog(pParent ? pParent->window() : nullptr), m_pParentView(pParent)
{
    setWindowTitle(QStringLiteral("Reading events from receiver"));
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

CZQ6Dialog::~CZQ6Dialog() = default;

bool CZQ6Dialog::Create()
{
    if (m_pProgress)
        return true;
    if (!OnInitDialog())
        return false;
    show();
    return true;
}

bool CZQ6Dialog::OnInitDialog()
{
    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName(QStringLiteral("progress%1").arg(int(IDC_PROGRESS)));
    m_pProgress->setTextVisible(false);
    m_pProgress->setRange(ProgressPosition::kMinimum, ProgressPosition::kMaximum);
    m_pProgress->setMinimumWidth(260);
    m_pCount = new QLabel(this);
    m_pCount->setObjectName(QStringLiteral("eventsRead"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(m_pProgress);
    layout->addWidget(m_pCount);
    m_position.Start();
    m_pProgress->setValue(m_position.Position());
    m_eventsRead = 0;
    m_pCount->setText(CountText());
    adjustSize();
    setFixedSize(size());
    FitTitle(*this);
    return true;
}

void CZQ6Dialog::Advance()
{
    if (!m_pProgress)
        return;
    m_pProgress->setValue(m_position.Advance());
    ++m_eventsRead;
    m_pCount->setText(CountText());
}

QString CZQ6Dialog::CountText() const
{
    return tr("Events read so far: %1").arg(QLocale().toString(m_eventsRead));
}

void CZQ6Dialog::reject() {}

void CZQ6Dialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

CZQ6DialogProgress::CZQ6DialogProgress(QWidget* pParentView)
    : m_pParentView(pParentView), m_pContext(new QObject)
{
}

CZQ6DialogProgress::~CZQ6DialogProgress()
{
    // Normally Finish() has already removed the dialog.
    delete m_pDialog;
    delete m_pContext;
}

void CZQ6DialogProgress::Run(const std::function<void()>& fn, bool wait)
{
    if (QThread::currentThread() == m_pContext->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(m_pContext, fn,
                              wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void CZQ6DialogProgress::Start()
{
    Run(
        [this] {
            delete m_pDialog;
            m_pDialog = new CZQ6Dialog(m_pParentView);
            if (!m_pDialog->Create()) {
                delete m_pDialog;
                m_pDialog = nullptr;
            }
        },
        true);
}

void CZQ6DialogProgress::Advance()
{
    Run(
        [this] {
            if (m_pDialog)
                m_pDialog->Advance();
        },
        false);
}

void CZQ6DialogProgress::Finish()
{
    Run(
        [this] {
            delete m_pDialog;
            m_pDialog = nullptr;
        },
        true);
}
