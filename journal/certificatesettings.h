#ifndef CERTIFICATESETTINGS_H
#define CERTIFICATESETTINGS_H

#include <QMap>
#include <QString>
#include <QStringList>

// What an organisation sets once for its certificates: who performs the
// wipes and its own optional fields. An INI file, read at each wipe.
struct CertificateSettings {
    QString operatorName, operatorTitle, operatorOrganisation, operatorLocation, operatorPhone;
    QMap<QString, QString> fields; // by key, only those set
};

// KCC_CERTIFICATE_SETTINGS when set, else certificate.ini in the
// application's configuration location.
QString certificateSettingsPath();
CertificateSettings loadCertificateSettings();

// The optional fields' keys, in the certificate's order.
const QStringList &certificateFieldKeys();

#endif // CERTIFICATESETTINGS_H
