// Writes the program's manual page to the file named by its one argument. The build runs it, so
// that the page and --help come from the same table of options.

#include <QSaveFile>

#include <cstdio>

#include "app/ManPage.h"

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: write-manpage FILE\n", stderr);
        return 2;
    }
    const QByteArray page = ManPage::text(QStringLiteral(BREVLIN_VERSION)).toUtf8();
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size() || !file.commit()) {
        std::fprintf(stderr, "write-manpage: %s: %s\n", argv[1], qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
