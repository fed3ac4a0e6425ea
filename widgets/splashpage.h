#pragma once

#include "widgets/waitingspinnerwidget.h"

#include <QLabel>
#include <QObject>

class QPushButton;
class QStackedWidget;
class SplashMessage;

// The splash page: the window's first page, the splash image with a turning indicator, and a
// message under it where there is something to say. It alone puts them up and takes them down;
// the load outcome and the connection recovery tell it what happened.
class SplashPage : public QObject
{
    Q_OBJECT

public:
    enum class Showing : quint8 {
        // The first load is under way: the indicator turns, nothing is said.
        FirstLoad,
        // The instrument did not answer at start: the indicator turns over the line waited on.
        WaitingAtStart,
        // The start page is no address on a network: the line says so and nothing turns.
        NothingToWaitFor,
        // The instrument went away after a page showed: the line and the "Start page" button.
        InstrumentLost,
        // A page shows: the splash page is no longer one of the window's pages.
        Nothing,
        // A page of another host than the instrument's failed: the web engine's page shows, with
        // the "Start page" button in the window's corner.
        OtherHostFailed,
    };
    Q_ENUM(Showing)

    // Becomes the window's first page, its indicator turning.
    explicit SplashPage(QStackedWidget &window);

    void pageShown();
    void waitAtStart(const QString &text);
    void nothingToWaitFor(const QString &text);
    void instrumentLost(const QString &text);
    void otherHostFailed();

    Showing showing() const { return m_showing; }
    QLabel &label() { return m_label; }
    const WaitingSpinnerWidget &indicator() const { return m_indicator; }
    const SplashMessage &message() const { return *m_message; }
    const QPushButton &cornerButton() const { return *m_cornerButton; }

signals:
    // "Start page" was pressed.
    void startPageRequested();

private:
    void showAgain();

    QStackedWidget &m_window;
    QLabel m_label;
    WaitingSpinnerWidget m_indicator;
    // Both belong to the window, over whose pages they lie.
    SplashMessage *m_message;
    QPushButton *m_cornerButton;
    Showing m_showing = Showing::FirstLoad;
};
