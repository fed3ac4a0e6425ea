#include "pagewatchdog.h"

#include <QApplication>
#include <QDebug>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWidget>

#include <csignal>

PageWatchdog::PageWatchdog(QWebEnginePage &page, QWidget &mainWindow)
    : m_page(page)
    , m_mainWindow(mainWindow)
{
    m_timer.setInterval(checkIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &PageWatchdog::tick);
    connect(&m_page, &QWebEnginePage::loadFinished, this, &PageWatchdog::firstLoadFinished);
    // The answer to a check sent before a navigation committed, or to a process that has ended,
    // may never come.
    connect(&m_page, &QWebEnginePage::loadStarted, this, &PageWatchdog::dropCheck);
    connect(&m_page, &QWebEnginePage::urlChanged, this, &PageWatchdog::dropCheck);
    connect(&m_page, &QWebEnginePage::renderProcessTerminated, this, &PageWatchdog::dropCheck);
}

PageWatchdog::Step PageWatchdog::nextStep(bool held, bool pageHeld, bool asking, qint64 askedForMs)
{
    if (held || pageHeld)
        return Step::Drop;
    if (!asking)
        return Step::Ask;
    return askedForMs >= hangTimeoutMs ? Step::EndPage : Step::Wait;
}

void PageWatchdog::firstLoadFinished(bool ok)
{
    if (!ok || m_state != State::BeforeFirstPage)
        return;
    m_state = State::Answered;
    m_sinceTick.start();
    m_timer.start();
}

void PageWatchdog::tick()
{
    const bool held = m_sinceTick.restart() >= heldAfterMs;
    const bool pageHeld = QApplication::activeModalWidget() || !m_mainWindow.isEnabled();
    const bool asking = m_state == State::Asking;
    switch (nextStep(held, pageHeld, asking, asking ? m_sinceAsked.elapsed() : 0)) {
    case Step::Drop:
        dropCheck();
        break;
    case Step::Ask:
        ask();
        break;
    case Step::Wait:
        break;
    case Step::EndPage:
        endHungPage(m_sinceAsked.elapsed());
        break;
    }
}

void PageWatchdog::ask()
{
    m_state = State::Asking;
    m_sinceAsked.start();
    const int check = ++m_check;
    const QPointer<PageWatchdog> self(this);
    // In a world of its own: nothing that the page's scripts define can stand in the way.
    m_page.runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                         [self, check](const QVariant &) {
                             if (self)
                                 self->answered(check);
                         });
}

void PageWatchdog::answered(int check)
{
    if (check == m_check && m_state == State::Asking)
        m_state = State::Answered;
}

void PageWatchdog::dropCheck()
{
    if (m_state == State::Asking) {
        m_state = State::Answered;
        ++m_check;
    }
}

void PageWatchdog::endHungPage(qint64 askedForMs)
{
    const qint64 pid = m_page.renderProcessPid();
    qDebug() << "PageWatchdog::pageHung seconds=" << askedForMs / 1000 << "pid=" << pid;
    dropCheck();
    // Ending it is what the renderer recovery hears of. In a single-process web engine the
    // page runs in this very process, which is not to be ended.
    if (pid > 0 && pid != QCoreApplication::applicationPid())
        ::kill(pid_t(pid), SIGKILL);
}
