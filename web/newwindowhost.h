#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class MyWebPage;
class NewWindowPage;
class QStackedWidget;
class QUrl;
class QWebEnginePage;

// Shows what the instrument's page opens in a new window (a link with a target, window.open) as
// a further page of the main window, so that the program keeps its one window, over which a
// download's backdrop and dialogs stay. A touch-sized Close, or window.close() from that page,
// returns to the page that was on the screen before, unchanged. One such page at a time: a
// further request replaces it.
class NewWindowHost : public QObject
{
public:
    // The stack owns the window of the page, as any of its pages.
    NewWindowHost(QStackedWidget &mainWindow, MyWebPage &opener);

    // For the web engine's createWindow: the page into which the new window loads. It is put on
    // the screen only once it accepts a page.
    QWebEnginePage *createPage();
    // The page accepted its first navigation of the main frame, or a later one.
    void pageAccepted(NewWindowPage *page, const QUrl &url);
    // Back to the page that was on the screen before.
    void close();

    // The stack's page that holds the Close button and the view; null while there is none.
    QWidget *currentWindow() const { return m_window; }

private:
    // Takes the page out of the stack; it goes later, never inside a call of its own.
    void discard();

    QStackedWidget &m_mainWindow;
    MyWebPage &m_opener;
    QPointer<QWidget> m_window;
    QPointer<NewWindowPage> m_page;
    QPointer<QWidget> m_returnTo;
    bool m_shown = false;
};
