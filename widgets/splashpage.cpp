#include "splashpage.h"

#include "widgets/busyindicator.h"
#include "widgets/overlaylayout.h"
#include "widgets/splashmessage.h"

#include <QPushButton>
#include <QStackedWidget>

SplashPage::SplashPage(QStackedWidget &window)
    : m_window(window)
    , m_indicator(&m_label, true, true)
    , m_message(new SplashMessage(&window))
    , m_cornerButton(new QPushButton(QStringLiteral("Start page"), &window))
{
    window.addWidget(&m_label);
    startBusyIndicator(m_indicator, Qt::black);
    connect(m_message->button(), &QPushButton::clicked, this, &SplashPage::startPageRequested);
    // In the corner, the web engine's page says what failed, undisturbed.
    m_cornerButton->setFont(OverlayLayout::emphasised(m_cornerButton->font()));
    m_cornerButton->setGeometry(QRect(QPoint(16, 16), OverlayLayout::touchButtonSize));
    m_cornerButton->hide();
    connect(m_cornerButton, &QPushButton::clicked, this, [this] {
        m_cornerButton->hide();
        emit startPageRequested();
    });
}

void SplashPage::pageShown()
{
    m_showing = Showing::Nothing;
    m_indicator.stop();
    // Hidden, not deleted: the page comes back when the instrument goes away.
    m_window.removeWidget(&m_label);
    m_message->hide();
    m_cornerButton->hide();
}

void SplashPage::waitAtStart(const QString &text)
{
    m_showing = Showing::WaitingAtStart;
    showAgain();
    m_message->showMessage(text, QString());
}

void SplashPage::nothingToWaitFor(const QString &text)
{
    m_showing = Showing::NothingToWaitFor;
    // An indicator that turns while nothing is tried would be a failure that looks like waiting.
    m_indicator.stop();
    m_message->showMessage(text, QString());
}

void SplashPage::instrumentLost(const QString &text)
{
    m_showing = Showing::InstrumentLost;
    showAgain();
    m_message->showMessage(text, QStringLiteral("Start page"));
}

void SplashPage::otherHostFailed()
{
    m_showing = Showing::OtherHostFailed;
    // The window's current page is raised whenever it changes: this must lie on top of it.
    m_cornerButton->raise();
    m_cornerButton->show();
}

void SplashPage::showAgain()
{
    m_cornerButton->hide();
    if (m_window.indexOf(&m_label) < 0)
        m_window.insertWidget(0, &m_label);
    m_window.setCurrentWidget(&m_label);
    m_indicator.start();
}
