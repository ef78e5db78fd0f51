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

// The organisation's time-stamping authority: [timestamp] url=, ca= (the PEM
// file of the authority's certificate authority), policy= (an OID, optional).
// From the file KCC_CERTIFICATE_SETTINGS names, else the user's file, else
// the machine's /etc/kestrik-kcc/certificate.ini: the whole section from one
// file, so a url is never checked with another file's ca.
struct TimestampSettings {
    QString url, ca, policy;
    QString file; // where they were read; empty: none set
    bool configured() const { return !url.isEmpty(); }
};
TimestampSettings loadTimestampSettings();
QString machineCertificateSettingsPath();

// The optional fields' keys, in the certificate's order.
const QStringList &certificateFieldKeys();

#endif // CERTIFICATESETTINGS_H
