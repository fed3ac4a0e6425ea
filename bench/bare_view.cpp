// The floor of start-up time on this stack: a program that does nothing but show a
// QWebEngineView on a URL and report its first load, for bench_startup to compare against.

#include <QApplication>
#include <QDebug>
#include <QWebEngineView>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWebEngineView view;
    QObject::connect(&view, &QWebEngineView::loadFinished,
                     [](bool ok) { qDebug() << "bare QWebEngineView::loadFinished ok=" << ok; });
    view.setUrl(QUrl(QCoreApplication::arguments().value(1)));
    view.resize(1280, 768);
    view.show();
    return QApplication::exec();
}
