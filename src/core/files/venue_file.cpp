#include "files/venue_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sstream>
#include <toml++/toml.h>

namespace quellaton {

namespace {

// A venue file is a few kilobytes; anything far larger is not one.
constexpr qint64 VenueFileSizeLimit = 1 << 20;

QString FromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

int LineOf(const toml::node& node) {
    return int(node.source().begin.line);
}

// Collects the errors of one file, each with the place it was found.
class Checker {
public:
    Checker(QString file, QString folder) : file_(std::move(file)), folder_(std::move(folder)) {}

    void error(int line, const QString& key, const QString& message) {
        errors_.append(VenueError{file_, line, key, message});
    }
    QList<VenueError>& errors() { return errors_; }

    // Reports every key of `table` not in `known`.
    void onlyKnownKeys(const toml::table& table, const QString& where,
                       std::initializer_list<const char*> known) {
        for (auto&& [key, node] : table) {
            const QString name = FromStd(key.str());
            const bool ok = std::any_of(known.begin(), known.end(),
                                        [&](const char* k) { return name == QLatin1String(k); });
            if (!ok) {
                error(int(key.source().begin.line ? key.source().begin.line : LineOf(node)),
                      Join(where, name), QStringLiteral("unknown key"));
            }
        }
    }

    std::optional<QString> string(const toml::table& table, const QString& where, const char* key,
                                  bool required, int tableLine) {
        const toml::node* node = table.get(key);
        if (!node) {
            if (required) {
                error(tableLine, Join(where, QLatin1String(key)), QStringLiteral("missing"));
            }
            return std::nullopt;
        }
        if (!node->is_string()) {
            error(LineOf(*node), Join(where, QLatin1String(key)),
                  QStringLiteral("must be a string"));
            return std::nullopt;
        }
        return FromStd(node->as_string()->get());
    }

    // A preset file named relative to the venue file: it must exist as a regular file.
    QString presetPath(const toml::table& table, const QString& where, const char* key,
                       int tableLine) {
        const std::optional<QString> given = string(table, where, key, false, tableLine);
        if (!given) {
            return {};
        }
        const toml::node* node = table.get(key);
        if (given->isEmpty()) {
            error(LineOf(*node), Join(where, QLatin1String(key)), QStringLiteral("empty path"));
            return {};
        }
        const QString path = QDir::cleanPath(QDir(folder_).absoluteFilePath(*given));
        const QFileInfo info(path);
        if (!info.exists()) {
            error(LineOf(*node), Join(where, QLatin1String(key)),
                  QStringLiteral("file not found: %1").arg(*given));
            return {};
        }
        if (!info.isFile()) {
            error(LineOf(*node), Join(where, QLatin1String(key)),
                  QStringLiteral("not a regular file: %1").arg(*given));
            return {};
        }
        return path;
    }

    static QString Join(const QString& where, const QString& key) {
        return where.isEmpty() ? key : where + QLatin1Char('.') + key;
    }

private:
    QString file_;
    QString folder_;
    QList<VenueError> errors_;
};

VenueUnit ReadUnit(Checker& check, const toml::table& table, const QString& where) {
    VenueUnit unit;
    unit.sourceLine = LineOf(table);
    check.onlyKnownKeys(table, where, {"id", "label", "tags", "preset", "slots"});
    const toml::node* id = table.get("id");
    if (!id) {
        check.error(unit.sourceLine, Checker::Join(where, QStringLiteral("id")),
                    QStringLiteral("missing"));
    } else if (!id->is_integer()) {
        check.error(LineOf(*id), Checker::Join(where, QStringLiteral("id")),
                    QStringLiteral("must be a whole number"));
    } else {
        const std::int64_t value = id->as_integer()->get();
        if (value < 1 || value > VenueHighestId) {
            check.error(LineOf(*id), Checker::Join(where, QStringLiteral("id")),
                        value == 255 ? QStringLiteral("255 is the broadcast address, not an ID")
                                     : QStringLiteral("must be 1..%1").arg(VenueHighestId));
        } else {
            unit.id = int(value);
        }
    }
    unit.label = check.string(table, where, "label", false, unit.sourceLine).value_or(QString());
    if (const toml::node* tags = table.get("tags")) {
        const toml::array* list = tags->as_array();
        if (!list) {
            check.error(LineOf(*tags), Checker::Join(where, QStringLiteral("tags")),
                        QStringLiteral("must be a list of strings"));
        } else {
            for (const toml::node& tag : *list) {
                if (!tag.is_string()) {
                    check.error(LineOf(tag), Checker::Join(where, QStringLiteral("tags")),
                                QStringLiteral("must be a list of strings"));
                    break;
                }
                unit.tags.append(FromStd(tag.as_string()->get()));
            }
        }
    }
    unit.presetPath = check.presetPath(table, where, "preset", unit.sourceLine);
    unit.slotsPath = check.presetPath(table, where, "slots", unit.sourceLine);
    return unit;
}

VenueLine ReadLine(Checker& check, const toml::table& table, const QString& where) {
    VenueLine line;
    line.sourceLine = LineOf(table);
    check.onlyKnownKeys(table, where, {"port", "unit"});
    line.port = check.string(table, where, "port", true, line.sourceLine).value_or(QString());
    if (line.port.isEmpty() && table.get("port") && table.get("port")->is_string()) {
        check.error(LineOf(*table.get("port")), Checker::Join(where, QStringLiteral("port")),
                    QStringLiteral("empty"));
    }
    const toml::node* units = table.get("unit");
    if (!units) {
        return line;
    }
    const toml::array* list = units->as_array();
    if (!list || !list->is_array_of_tables()) {
        check.error(LineOf(*units), Checker::Join(where, QStringLiteral("unit")),
                    QStringLiteral("must be [[line.unit]] tables"));
        return line;
    }
    QSet<int> ids;
    for (std::size_t i = 0; i < list->size(); ++i) {
        const QString unitWhere = Checker::Join(where, QStringLiteral("unit[%1]").arg(i + 1));
        VenueUnit unit = ReadUnit(check, *list->get(i)->as_table(), unitWhere);
        if (unit.id != 0 && ids.contains(unit.id)) {
            const toml::node* id = list->get(i)->as_table()->get("id");
            check.error(LineOf(*id), Checker::Join(unitWhere, QStringLiteral("id")),
                        QStringLiteral("ID %1 is given twice on this line").arg(unit.id));
        }
        ids.insert(unit.id);
        line.units.append(unit);
    }
    return line;
}

} // namespace

int Venue::unitCount() const {
    int n = 0;
    for (const VenueLine& line : lines) {
        n += int(line.units.size());
    }
    return n;
}

QString VenueError::text() const {
    QString place = file;
    if (line > 0) {
        place += QLatin1Char(':') + QString::number(line);
    }
    return key.isEmpty() ? QStringLiteral("%1: %2").arg(place, message)
                         : QStringLiteral("%1: %2: %3").arg(place, key, message);
}

VenueRead ReadVenueFile(const QString& path) {
    VenueRead result;
    const QFileInfo info(path);
    QFile file(path);
    if (!info.exists()) {
        result.errors.append(VenueError{path, 0, {}, QStringLiteral("file not found")});
        return result;
    }
    if (!info.isFile() || info.size() > VenueFileSizeLimit || !file.open(QIODevice::ReadOnly)) {
        result.errors.append(VenueError{path, 0, {}, QStringLiteral("cannot be read")});
        return result;
    }
    return ReadVenueText(file.read(VenueFileSizeLimit), path);
}

VenueRead ReadVenueText(const QByteArray& text, const QString& path) {
    VenueRead result;
    Checker check(path, QFileInfo(path).absolutePath());
    toml::table root;
    try {
        root = toml::parse(std::string_view(text.constData(), std::size_t(text.size())),
                           path.toStdString());
    } catch (const toml::parse_error& error) {
        check.error(int(error.source().begin.line), {}, FromStd(error.description()));
        result.errors = check.errors();
        return result;
    }
    Venue venue;
    check.onlyKnownKeys(root, {}, {"venue", "line"});
    if (const toml::node* header = root.get("venue")) {
        if (const toml::table* table = header->as_table()) {
            check.onlyKnownKeys(*table, QStringLiteral("venue"), {"name"});
            venue.name =
                check.string(*table, QStringLiteral("venue"), "name", false, LineOf(*table))
                    .value_or(QString());
        } else {
            check.error(LineOf(*header), QStringLiteral("venue"),
                        QStringLiteral("must be a [venue] table"));
        }
    }
    if (const toml::node* lines = root.get("line")) {
        const toml::array* list = lines->as_array();
        if (!list || !list->is_array_of_tables()) {
            check.error(LineOf(*lines), QStringLiteral("line"),
                        QStringLiteral("must be [[line]] tables"));
        } else {
            QSet<QString> ports;
            for (std::size_t i = 0; i < list->size(); ++i) {
                const QString where = QStringLiteral("line[%1]").arg(i + 1);
                VenueLine line = ReadLine(check, *list->get(i)->as_table(), where);
                if (!line.port.isEmpty() && ports.contains(line.port)) {
                    check.error(LineOf(*list->get(i)->as_table()->get("port")),
                                Checker::Join(where, QStringLiteral("port")),
                                QStringLiteral("%1 is given twice").arg(line.port));
                }
                ports.insert(line.port);
                venue.lines.append(line);
            }
        }
    }
    result.errors = check.errors();
    if (result.errors.isEmpty()) {
        result.venue = venue;
    }
    return result;
}

QByteArray VenueFileText(const Venue& venue, const QString& folder) {
    const QDir base(folder);
    auto relative = [&](const QString& path) {
        const QString rel = base.relativeFilePath(path);
        return (rel.startsWith(QLatin1String("..")) ? path : rel).toStdString();
    };
    toml::table root;
    root.insert("venue", toml::table{{"name", venue.name.toStdString()}});
    toml::array lines;
    for (const VenueLine& line : venue.lines) {
        toml::array units;
        for (const VenueUnit& unit : line.units) {
            toml::table entry{{"id", unit.id}};
            if (!unit.label.isEmpty()) {
                entry.insert("label", unit.label.toStdString());
            }
            if (!unit.tags.isEmpty()) {
                toml::array tags;
                for (const QString& tag : unit.tags) {
                    tags.push_back(tag.toStdString());
                }
                entry.insert("tags", std::move(tags));
            }
            if (!unit.presetPath.isEmpty()) {
                entry.insert("preset", relative(unit.presetPath));
            }
            if (!unit.slotsPath.isEmpty()) {
                entry.insert("slots", relative(unit.slotsPath));
            }
            units.push_back(std::move(entry));
        }
        toml::table entry{{"port", line.port.toStdString()}};
        if (!units.empty()) {
            entry.insert("unit", std::move(units));
        }
        lines.push_back(std::move(entry));
    }
    if (!lines.empty()) {
        root.insert("line", std::move(lines));
    }
    // Written as people write these files by hand: double-quoted strings, no indentation.
    constexpr auto flags = toml::toml_formatter::default_flags &
                           ~toml::format_flags::allow_literal_strings &
                           ~toml::format_flags::indentation;
    std::ostringstream out;
    out << toml::toml_formatter{root, flags} << '\n';
    return QByteArray::fromStdString(out.str());
}

} // namespace quellaton
