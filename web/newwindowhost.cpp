#include "newwindowhost.h"

#include "web/mywebpage.h"
#include "web/newwindowpage.h"

#include <QApplication>
#include <QDebug>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace {

// Large enough for a finger on a touch screen, as the waiting page's button.
const QSize closeButtonSize(200, 72);

} // namespace

NewWindowHost::NewWindowHost(QStackedWidget &mainWindow, MyWebPage &opener)
    : m_mainWindow(mainWindow)
    , m_opener(opener)
{}

QWebEnginePage *NewWindowHost::createPage()
{
    discard();
    auto *window = new QWidget;
    auto *closeButton = new QPushButton(QStringLiteral("Close"), window);
    closeButton->setFixedSize(closeButtonSize);
    QFont larger = closeButton->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.3);
    larger.setBold(true);
    closeButton->setFont(larger);
    auto *view = new QWebEngineView(window);
    auto *page = new NewWindowPage(*this, m_opener, view);
    view->setPage(page);

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(8, 8, 8, 8);
    bar->addWidget(closeButton);
    bar->addStretch();
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(view, 1);
    // A plain background under the bar instead of a slice of the splash image.
    QPalette palette;
    palette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Window));
    window->setPalette(palette);
    window->setAutoFillBackground(true);

    connect(closeButton, &QPushButton::clicked, this, &NewWindowHost::close);
    connect(page, &QWebEnginePage::windowCloseRequested, this, [this, page] {
        if (page == m_page)
            close();
    });
    m_mainWindow.addWidget(window);
    m_window = window;
    m_page = page;
    m_shown = false;
    return page;
}

void NewWindowHost::pageAccepted(NewWindowPage *page, const QUrl &url)
{
    if (page != m_page || m_shown)
        return;
    qDebug() << "NewWindowHost::newWindow url=" << url;
    m_shown = true;
    m_returnTo = m_mainWindow.currentWidget();
    m_mainWindow.setCurrentWidget(m_window);
}

void NewWindowHost::close()
{
    if (!m_window)
        return;
    qDebug() << "NewWindowHost::close url=" << (m_page ? m_page->url() : QUrl());
    discard();
}

void NewWindowHost::discard()
{
    if (!m_window)
        return;
    if (m_mainWindow.currentWidget() == m_window && m_returnTo)
        m_mainWindow.setCurrentWidget(m_returnTo);
    m_mainWindow.removeWidget(m_window);
    // A page may be asking for its replacement, from inside its own createWindow.
    m_window->deleteLater();
    m_window = nullptr;
    m_page = nullptr;
    m_shown = false;
}
