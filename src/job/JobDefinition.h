#pragma once
// One backup job as its file stores it. The record stands in for the main window's job
// controls and the job's program-wide variables until the job editor binds the controls to
// it: each field names the control or variable it stands for. Both lists are kept in the
// order of gui::CompareTextI, as the sorted list boxes will hold them, so the order stored
// in the file and the order a job processes agree.

#include "job/VolumeSizes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace job {

struct JobDefinition {
    std::string Destination;           // Edit7: one path, or alternatives separated by "|"
    bool ClearArchiveBit = false;      // CheckBox1
    bool ChangedOnly = false;          // RadioButton2 (RadioButton1 is its opposite)
    std::string AfterDateText;         // Edit1: the "After:" date as fixed date text
    bool UseAfterDate = false;         // CheckBox3
    std::string ZipName;               // Edit2: may hold "-#" and "%DATE%"
    int CompressionLevel = 6;          // TrackBar1 position
    int CompressionMax = 7;            // TrackBar1 maximum (not stored in the file)
    std::string ZipSizeText = "650";   // ComboBox1: largest volume in MB, as typed
    std::string JobMaxZipText = "650"; // the volume size text the file held when loaded
    int64_t MaxZipSize = CdVolumeSize; // largest volume in bytes
    bool Uselasttime1 = true;          // checked in a new window
    bool IncludeFulldriveInfo = false;
    bool Includedriveinfo = false; // stored as "2"; wins over IncludeFulldriveInfo
    std::string ZipPassword;
    bool Testarchiveafterbackup1 = false;
    bool OverwriteExistingZipFile1 = false;
    bool Allfilenames1 = false;
    bool IncludeDateTime1 = true; // checked in a new window
    bool MakeCatalog = false;
    bool Includefolderinformation = true;
    bool Optimizeusedspace = true;
    bool Splitlargefiles = false;
    bool EraseCD = false;
    bool FullEraseCD = false;
    bool CBCatalog = false;
    std::string CatalogNames; // EditCatName: catalogue names joined by "|"
    bool OEMConvert = false;
    int WriterIndex = 0;                  // ComboBox2 item index
    int PreWait = 10;                     // seconds after starting the program before the job
    std::string PreRunFile;               // program and parameters
    int PostWait = 1;                     // seconds before running the program after the job
    std::string PostRunFile;              // program and parameters, as the one before
    std::vector<std::string> IncludeList; // ListBox1
    std::vector<std::string> ExcludeList; // ListBox3
    bool ReadOnly = false;                // the file is read-only: a locked job whose controls are disabled

    bool operator==(const JobDefinition&) const = default;
};

} // namespace job
