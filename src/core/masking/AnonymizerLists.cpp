#include "core/masking/AnonymizerLists.h"

#include <QFile>
#include <QStringList>

static void initNameResources() {
    Q_INIT_RESOURCE(names);
}

namespace quorix {

namespace {

// Table, surname column, given-name columns.
constexpr const char *kWorkList[] = {
    "[Patient_Data].[dbo].[tbmaster] LastName FirstName MiddleName",
    "[Patient_Data].[dbo].[tbmaster2] Mother Father",
    "Patient_data..Missing_Names LastName FirstName MiddleName",
    "Patient_data..tbAdmContact LastName FirstName MiddleName",
    "Patient_data..tbAdmDataSheet LastName FirstName MiddleName",
    "Patient_data..tbAdmDischarge LastName FirstName MiddleName",
    "Patient_data..tbAdmWaitingList LastName FirstName MiddleName",
    "Patient_data..tbAdmWatcherMaster LastName FirstName MiddleName",
    "Patient_data..tbMaster3 LastName FirstName MiddleName",
    "Patient_data..tbMedRecCertificate LastName FirstName MiddleName",
    "Patient_data..tbMedrecBirthRegister LastName FirstName MiddleName",
    "Patient_data..tbMedrecDischargeRegister LastName FirstName MiddleName",
    "Patient_data..tbMedrecDiseaseIndex LastName FirstName MiddleName",
    "Patient_data..tbMedrecDoctorIndex LastName FirstName MiddleName",
    "Patient_data..tbMedrecIncomplete LastName FirstName MiddleName",
    "Patient_data..tbPastMaster LastName FirstName MiddleName",
    "Patient_data..tbMedRecLog OrigLastName OrigFirstName OrigMiddleName",
    "Patient_data..tbMedRecLog NewLastName NewFirstName NewMiddleName",
    "Patient_data..tbMedrecProcedureIndex LastName FirstName MiddleName",
    "Medicare..tbMedPatient LastName",
    "Medicare..tbMedMember LastName",
    "Billing..tbBillPasswordList LastName FirstName MiddleName",
    "Billing..tbBillProcCert LastName FirstName MiddleName",
    "Billing..tbCashDocRefundstoBank LastName FirstName MiddleName",
    "Billing..tbCashPatient LastName FirstName MiddleName",
    "Billing..tbParsCoMakers LastName FirstName MiddleName",
    "Build_File..tbCoDoctor LastName FirstName MiddleName",
    "Build_File..tbCoMedTech LastName FirstName MiddleName",
    "Radiology..tbOBFileNum LastName FirstName MiddleName",
    "Accounting..tbBIRRegistration LastName FirstName MiddleName",
    "Accounting..VEND LastName FirstName MiddleName",
    "Register..tbPhysicalExamination LastName FirstName MiddleName",
    "Prepaid..tbPrepaidCharges LastName FirstName MiddleName",
    "Reports..PatientData LastName FirstName MiddleName",
    "BloodDonation..AutologousDonor Name LastName",
    "BloodDonation..Donor Name LastName",
    "BloodDonation..Phlebotomy Name LastName",
    "DICOM..PatientTable Name_Last Name_First",
    "payroll..tbpmaster LastName FirstName MiddleName",
    "payroll..tbcmaster LastName FirstName MiddleName",
};

// The data files keep one name per LF-ended line (trailing blanks matter); the boxes want CR LF.
QString resourceLines(const QString &path) {
    initNameResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QLatin1Char('\r'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

} // namespace

QString defaultWorkList() {
    QString text;
    for (const char *line : kWorkList)
        text += QLatin1String(line) + QStringLiteral("\r\n");
    return text;
}

QString builtInLastNames() {
    return resourceLines(QStringLiteral(":/masking/LastNames.txt"));
}
QString builtInFirstNames() {
    return resourceLines(QStringLiteral(":/masking/FirstNames.txt"));
}

} // namespace quorix
