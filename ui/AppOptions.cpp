#include "ui/AppOptions.h"

namespace {
std::optional<int> parsePort(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 1 || value > 65535)
        return std::nullopt;
    return value;
}
} // namespace

std::optional<AppOptions> parseAppOptions(const QStringList& args, QString* error)
{
    AppOptions options;
    bool onlyFiles = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (onlyFiles || !args[i].startsWith(u'-') || args[i] == u"-") {
            options.files << args[i];
            continue;
        }
        if (args[i] == u"--") {
            onlyFiles = true;
            continue;
        }
        QString name = args[i];
        std::optional<QString> inlineValue;
        if (const qsizetype eq = name.indexOf(u'='); name.startsWith(u"--") && eq > 0) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
        }
        if (name == u"--demo" && !inlineValue) {
            options.demo = true;
            continue;
        }
        const bool known = name == u"--config" || name == u"--machine-port" ||
                           name == u"--listen-port" || name == u"--prefix" || name == u"--key";
        if (!known) {
            *error = QStringLiteral("unknown option: %1").arg(args[i]);
            return std::nullopt;
        }
        QString value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            *error = QStringLiteral("%1 needs a value").arg(name);
            return std::nullopt;
        }
        if (name == u"--config") {
            options.configPath = value;
        } else if (name == u"--prefix") {
            options.prefix = value;
        } else if (name == u"--key") {
            // The cipher takes a 16-byte key; the machines use the same one.
            if (value.toUtf8().size() != 16) {
                *error = QStringLiteral("--key needs 16 characters");
                return std::nullopt;
            }
            options.key = value;
        } else {
            const auto port = parsePort(value);
            if (!port) {
                *error = QStringLiteral("%1: not a port number: %2").arg(name, value);
                return std::nullopt;
            }
            (name == u"--machine-port" ? options.machinePort : options.listenPort) = port;
        }
    }
    return options;
}
