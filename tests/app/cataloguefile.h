#pragma once

// The Chinese catalogue's source file (resources/CorvaneFactoryApp_zh.ts) and
// its exceptions file (resources/catalogue-exceptions.tsv) as the catalogue
// tests read them. STATION_SOURCE_DIR names the checkout.

#include <QFile>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

namespace Catalogue {

inline QString SourceDir()
{
    return QStringLiteral(STATION_SOURCE_DIR);
}

// Relative to the checkout, as the developer's lupdate command names it.
inline QString TsRelativePath()
{
    return QStringLiteral("resources/CorvaneFactoryApp_zh.ts");
}

inline QString TsPath()
{
    return SourceDir() + QLatin1Char('/') + TsRelativePath();
}

inline QString ExceptionsPath()
{
    return SourceDir() + QStringLiteral("/resources/catalogue-exceptions.tsv");
}

inline QString GlossaryPath()
{
    return SourceDir() + QStringLiteral("/resources/catalogue-glossary.md");
}

// The command that brings the catalogue up to date with the code.
inline QString UpdateCommand()
{
    return QStringLiteral("lupdate -recursive src -ts ") + TsRelativePath() + QStringLiteral(" -no-obsolete");
}

struct SEntry
{
    QString context;
    QString source;
    QString comment;      // disambiguation, usually empty
    QString translation;  // the first form of a plural entry
    QStringList forms;    // every form of a plural entry
    QString type;         // "" finished, "unfinished", "vanished", "obsolete"

    bool IsFinished() const { return type.isEmpty() && !translation.isEmpty(); }
    QString Key() const { return context + QLatin1Char('\x1f') + source + QLatin1Char('\x1f') + comment; }
    // "context | source" (and the comment), for messages.
    QString Name() const
    {
        QString name = context + QStringLiteral(" | \"") + source + QLatin1Char('"');
        if (!comment.isEmpty())
            name += QStringLiteral(" (") + comment + QLatin1Char(')');
        return name;
    }
};

// Reads a .ts file: its entries in file order. False with a reason when the
// file is missing or not a well-formed catalogue.
inline bool Read(const QString& path, QList<SEntry>* pEntries, QString* pError)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *pError = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QXmlStreamReader xml(&file);
    QString context;
    SEntry entry;
    bool bInMessage = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringRef name = xml.name();
            if (name == QLatin1String("context")) {
                context.clear();
            } else if (name == QLatin1String("name") && !bInMessage) {
                context = xml.readElementText();
            } else if (name == QLatin1String("message")) {
                entry = SEntry();
                entry.context = context;
                bInMessage = true;
            } else if (bInMessage && name == QLatin1String("source")) {
                entry.source = xml.readElementText();
            } else if (bInMessage && name == QLatin1String("comment")) {
                entry.comment = xml.readElementText();
            } else if (bInMessage && name == QLatin1String("translation")) {
                entry.type = xml.attributes().value(QLatin1String("type")).toString();
                // Plain text, or one numerusform per plural form.
                while (!xml.atEnd()) {
                    xml.readNext();
                    if (xml.isCharacters())
                        entry.translation += xml.text();
                    else if (xml.isStartElement() && xml.name() == QLatin1String("numerusform"))
                        entry.forms << xml.readElementText();
                    else if (xml.isEndElement() && xml.name() == QLatin1String("translation"))
                        break;
                }
                if (!entry.forms.isEmpty())
                    entry.translation = entry.forms.first();
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            pEntries->append(entry);
            bInMessage = false;
        }
    }
    if (xml.hasError()) {
        *pError = QStringLiteral("%1:%2: %3").arg(path).arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    return true;
}

struct SException
{
    QString context;
    QString source;
    QString reason;
    int nLine = 0;
};

// Reads the exceptions file: "context<TAB>source<TAB>reason" per line, "#"
// starts a comment line. Malformed lines go to pProblems.
inline QList<SException> ReadExceptions(const QString& path, QStringList* pProblems)
{
    QList<SException> list;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *pProblems << path + QStringLiteral(": ") + file.errorString();
        return list;
    }
    int nLine = 0;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        ++nLine;
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() != 3 || fields.at(0).isEmpty() || fields.at(1).isEmpty() || fields.at(2).trimmed().isEmpty()) {
            *pProblems << QStringLiteral("line %1 is not \"context<TAB>source<TAB>reason\": %2").arg(nLine).arg(line);
            continue;
        }
        list.append(SException{fields.at(0), fields.at(1), fields.at(2), nLine});
    }
    return list;
}

} // namespace Catalogue
