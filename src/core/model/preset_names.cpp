#include "model/preset_names.h"

namespace quellaton {

QString PresetShortName(int preset) {
    const QString kind = preset < FirstUserPreset ? QStringLiteral("Pre") : QStringLiteral("Usr");
    return kind + QString::number(preset - 1);
}

QString PresetListPrefix(int preset) {
    return PresetShortName(preset) + QLatin1Char(':');
}

QString PresetNameText(const QByteArray& name) {
    const qsizetype end = name.indexOf('\0');
    return QString::fromLatin1(end < 0 ? name : name.left(end));
}

QString PresetListEntry(int preset, const QByteArray& name) {
    return PresetListPrefix(preset) + PresetNameText(name);
}

QString LastLoadedLabel(int preset) {
    return QStringLiteral("Last loaded preset:") + PresetShortName(preset) +
           QString(9, QLatin1Char(' '));
}

QString TrimPresetName(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) <= QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text.at(last - 1) <= QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first).left(PresetNameMaxLength);
}

QByteArray PresetNameBytes(const QString& text) {
    return TrimPresetName(text).toLatin1();
}

} // namespace quellaton
