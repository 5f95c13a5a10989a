#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Rufwart 32"));
    QTextStream(stderr) << "Rufwart 32: call monitoring is not built yet.\n";
    return 0;
}
