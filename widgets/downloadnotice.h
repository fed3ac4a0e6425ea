#pragma once

#include <QString>
#include <QWidget>

class QTimer;

// A short message at the foot of the main window once a download has ended. It takes no focus
// and has no button: it fades after a few seconds and goes away at a touch. A window shows one
// notice at a time; a newer one takes the place of the older.
class DownloadNotice : public QWidget
{
    Q_OBJECT

public:
    enum class Tone : quint8 { Done, Problem };

    // Nothing without a window.
    static void showOn(QWidget *window, const QString &text, Tone tone);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    explicit DownloadNotice(QWidget *window);
    void present(const QString &text, Tone tone);
    void place();
    void fadeStep();
    void dismiss();

    QString m_text;
    Tone m_tone = Tone::Done;
    qreal m_opacity = 1.0;
    QTimer *m_holdTimer;
    QTimer *m_fadeTimer;
};
