#include "job/JobArchiveTest.h"

#include "zip/UnZipper.h"

namespace job {

void TJobArchiveTest::Connect(zip::TUnZipper& zipper1, zip::TUnZipper* zipper2) {
    zipper1.OnEndReadFileInfo = [this](zip::TUnZipper&, int index, int total) {
        Zipper1EndReadFileInfo(index, total);
    };
    zipper1.OnTotalPercentDone = [this](zip::TUnZipper& z, int percent) {
        Zipper1TotalPercentDone(z, percent);
    };
    zipper1.OnBadCRC = [this](zip::TUnZipper& z, uint32_t, uint32_t, int index) { Zipper1BadCRC(z, index); };
    zipper1.OnEndUnZip = [this](zip::TUnZipper& z, int index, const std::string&) {
        Zipper1EndUnZip(z, index);
    };
    zipper1.OnFilePercentDone = [this](zip::TUnZipper& z, int percent) {
        Zipper1FilePercentDone(z, percent);
    };
    if (zipper2)
        zipper2->OnFilePercentDone = [this](zip::TUnZipper& z, int percent) {
            Zipper2FilePercentDone(z, percent);
        };
}

void TJobArchiveTest::Zipper1EndReadFileInfo(int index, int totalFiles) {
    if (Testing && totalFiles > 0 && Progress) Progress(index * 100 / totalFiles);
}

void TJobArchiveTest::Zipper1TotalPercentDone(zip::TUnZipper&, int percent) {
    if (!Testing) return;
    if (Progress) Progress(percent);
    if (percent >= 100 && ++FullReports > 100000) throw EInfiniteRun();
}

void TJobArchiveTest::Zipper1BadCRC(zip::TUnZipper& zipper, int index) {
    if (ReportBadCrc && Log) Log(zipper.FullName(index) + " in " + zipper.ZipName() + " may be corrupt.");
}

void TJobArchiveTest::Zipper1EndUnZip(zip::TUnZipper& zipper, int index) {
    FullReports = 0;
    const std::string zipName = zipper.ZipName().substr(zipper.ZipName().find_last_of("\\/:") + 1);
    if (Status) Status("Verified: " + zipper.Filename(index) + ". " + zipName);
    if (Cancelled()) {
        zipper.ClearSelected();
        zipper.CancelTheOperation();
    }
}

void TJobArchiveTest::Zipper1FilePercentDone(zip::TUnZipper& zipper, int percent) {
    if (FileProgress) FileProgress(percent);
    if (Cancelled()) zipper.CancelTheOperation();
}

void TJobArchiveTest::Zipper2FilePercentDone(zip::TUnZipper& zipper, int) {
    if (Cancelled()) zipper.CancelTheOperation();
}

} // namespace job
