// Record identifiers and fixed values of the Excel 97 (BIFF8) workbook stream.
#pragma once

#include <QtGlobal>

namespace kelvar::xls::biff {

// Largest payload of one record; longer data continues in CONTINUE records.
inline constexpr int kMaxRecordData = 8224;
inline constexpr int kRecordHeaderSize = 4;

inline constexpr quint16 kBiff8Version = 0x0600;
inline constexpr quint16 kBofGlobals = 0x0005;
inline constexpr quint16 kBofWorksheet = 0x0010;
inline constexpr quint16 kCodepageUtf16 = 1200;

// The cell format every cell uses: the first format after the 15 style formats.
inline constexpr quint16 kDefaultCellXf = 15;

enum RecordId : quint16 {
    kFormula = 0x0006,
    kEof = 0x000A,
    kCalcCount = 0x000C,
    kCalcMode = 0x000D,
    kPrecision = 0x000E,
    kRefMode = 0x000F,
    kDelta = 0x0010,
    kIteration = 0x0011,
    kProtect = 0x0012,
    kPassword = 0x0013,
    kHeader = 0x0014,
    kFooter = 0x0015,
    kWindowProtect = 0x0019,
    kNote = 0x001C,
    kDateMode = 0x0022,
    kLeftMargin = 0x0026,
    kRightMargin = 0x0027,
    kTopMargin = 0x0028,
    kBottomMargin = 0x0029,
    kPrintHeaders = 0x002A,
    kPrintGridlines = 0x002B,
    kFilePass = 0x002F,
    kFont = 0x0031,
    kContinue = 0x003C,
    kWindow1 = 0x003D,
    kBackup = 0x0040,
    kCodepage = 0x0042,
    kDefColWidth = 0x0055,
    kSaveRecalc = 0x005F,
    kObj = 0x005D,
    kColInfo = 0x007D,
    kGuts = 0x0080,
    kWsBool = 0x0081,
    kGridSet = 0x0082,
    kHCenter = 0x0083,
    kVCenter = 0x0084,
    kBoundSheet = 0x0085,
    kCountry = 0x008C,
    kHideObj = 0x008D,
    kSetup = 0x00A1,
    kMulRk = 0x00BD,
    kMms = 0x00C1,
    kBookBool = 0x00DA,
    kXf = 0x00E0,
    kInterfaceHdr = 0x00E1,
    kInterfaceEnd = 0x00E2,
    kMsoDrawing = 0x00EC,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kExtSst = 0x00FF,
    kTabId = 0x013D,
    kUsesElfs = 0x0160,
    kDsf = 0x0161,
    kProt4Rev = 0x01AF,
    kTxo = 0x01B6,
    kRefreshAll = 0x01B7,
    kHlink = 0x01B8,
    kProt4RevPass = 0x01BC,
    kDimensions = 0x0200,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kRow = 0x0208,
    kArray = 0x0221,
    kDefaultRowHeight = 0x0225,
    kTable = 0x0236,
    kWindow2 = 0x023E,
    kRk = 0x027E,
    kStyle = 0x0293,
    kShrFmla = 0x04BC,
    kBof = 0x0809,
};

} // namespace kelvar::xls::biff
