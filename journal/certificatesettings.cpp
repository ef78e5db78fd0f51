#include "certificatesettings.h"

#include "installation.h"

#include <QSettings>

QString certificateSettingsPath()
{
    const QString overridden = qEnvironmentVariable("KCC_CERTIFICATE_SETTINGS");
    if (!overridden.isEmpty())
        return overridden;
    return installation::configDirectory() + QStringLiteral("/certificate.ini");
}

const QStringList &certificateFieldKeys()
{
    static const QStringList keys{
        QStringLiteral("media/property_number"),  QStringLiteral("media/source"),
        QStringLiteral("media/classification"),   QStringLiteral("media/data_backed_up"),
        QStringLiteral("media/backup_location"),  QStringLiteral("sanitization/post_classification"),
        QStringLiteral("sanitization/notes"),     QStringLiteral("destination/kind"),
        QStringLiteral("destination/details"),
    };
    return keys;
}

CertificateSettings loadCertificateSettings()
{
    QSettings ini(certificateSettingsPath(), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    // An unquoted comma makes QSettings read a list: the officer meant the text.
    const auto text = [&ini](const QString &key) {
        const QVariant value = ini.value(key);
        return (value.type() == QVariant::StringList ? value.toStringList().join(QStringLiteral(", ")) : value.toString())
            .trimmed();
    };
    CertificateSettings settings;
    settings.operatorName = text(QStringLiteral("operator/name"));
    settings.operatorTitle = text(QStringLiteral("operator/title"));
    settings.operatorOrganisation = text(QStringLiteral("operator/organisation"));
    settings.operatorLocation = text(QStringLiteral("operator/location"));
    settings.operatorPhone = text(QStringLiteral("operator/phone"));
    for (const QString &key : certificateFieldKeys())
        if (!text(key).isEmpty())
            settings.fields.insert(key, text(key));
    return settings;
}

QString machineCertificateSettingsPath()
{
    return QStringLiteral("/etc/kestrik-kcc/certificate.ini");
}

TimestampSettings loadTimestampSettings()
{
    QStringList files{certificateSettingsPath()};
    if (qEnvironmentVariable("KCC_CERTIFICATE_SETTINGS").isEmpty())
        files << machineCertificateSettingsPath();
    for (const QString &file : files) {
        QSettings ini(file, QSettings::IniFormat);
        ini.setIniCodec("UTF-8");
        TimestampSettings settings;
        settings.url = ini.value(QStringLiteral("timestamp/url")).toString().trimmed();
        if (!settings.configured())
            continue;
        settings.ca = ini.value(QStringLiteral("timestamp/ca")).toString().trimmed();
        settings.policy = ini.value(QStringLiteral("timestamp/policy")).toString().trimmed();
        settings.file = file;
        return settings;
    }
    return TimestampSettings();
}
