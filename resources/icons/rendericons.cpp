// Renders the station's icon sources to the PNG files that the program embeds.
//
//   station_render_icons <icons folder> <Image folder>
//
// keys/<name>.svg  -> Image-UI/<name>-E.png, -C.png, -D.png (48 x 48): the glyph
//                     colour of the source (orange) is the normal "-E" picture,
//                     blue marks the checked "-C" and grey the disabled "-D" one.
// plain/<path>.svg -> <path>.png at the size the source declares.
//
// Needs Qt's SVG image-format plugin at run time (package libqt5svg5); the
// rendered PNG files are kept in the repository, so building the station
// does not.

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QTextStream>

namespace {
const char* const kSourceColour = "#f39200";

struct Variant
{
    const char* suffix;
    const char* colour;
};
const Variant kVariants[] = {
    {"E", "#f39200"},
    {"C", "#1e88e5"},
    {"D", "#a8a8a8"},
};

bool Render(const QByteArray& svg, const QSize& size, const QString& outPath)
{
    QBuffer buffer;
    buffer.setData(svg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "svg");
    if (size.isValid())
        reader.setScaledSize(size);
    const QImage image = reader.read();
    if (image.isNull()) {
        QTextStream(stderr) << "cannot render " << outPath << ": " << reader.errorString() << "\n";
        return false;
    }
    QDir().mkpath(QFileInfo(outPath).absolutePath());
    if (!image.convertToFormat(QImage::Format_ARGB32).save(outPath, "PNG")) {
        QTextStream(stderr) << "cannot write " << outPath << "\n";
        return false;
    }
    return true;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}
} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        QTextStream(stderr) << "usage: station_render_icons <icons folder> <Image folder>\n";
        return 2;
    }
    const QDir icons(QString::fromLocal8Bit(argv[1]));
    const QDir out(QString::fromLocal8Bit(argv[2]));
    int nFailed = 0;
    int nWritten = 0;

    const QStringList keys = QDir(icons.filePath("keys")).entryList({"*.svg"}, QDir::Files, QDir::Name);
    for (const QString& file : keys) {
        const QByteArray source = ReadAll(icons.filePath("keys/" + file));
        const QString name = QFileInfo(file).completeBaseName();
        for (const Variant& v : kVariants) {
            QByteArray svg = source;
            svg.replace(kSourceColour, v.colour);
            const QString target = out.filePath(QStringLiteral("Image-UI/%1-%2.png").arg(name, v.suffix));
            if (Render(svg, QSize(48, 48), target))
                ++nWritten;
            else
                ++nFailed;
        }
    }

    const QDir plain(icons.filePath("plain"));
    QDirIterator it(plain.path(), {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QString relative = plain.relativeFilePath(path);
        relative.chop(4);
        if (Render(ReadAll(path), QSize(), out.filePath(relative + ".png")))
            ++nWritten;
        else
            ++nFailed;
    }

    QTextStream(stdout) << nWritten << " images written, " << nFailed << " failed\n";
    return nFailed == 0 ? 0 : 1;
}
