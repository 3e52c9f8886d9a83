#pragma once
// The link settings kept between runs: read once at start, written back at
// exit. They live under the user's settings key "Kelvar/Kelvar-517" (the
// registry on Windows, the native settings file on Linux). Values are read only
// when present; a missing or unreadable value keeps its default, and values
// out of range are brought into range, so a damaged settings store never stops
// the program.

#include <QString>

class QSettings;

namespace kelvar::app {

struct AppSettings {
    int address = 0;          // "Address", 0..255
    int port = 1;             // "Port": number of the meter port ("COM3" -> 3)
    QString portName;         // "PortName": the meter port itself (a Linux device has no number)
    int scaner = 2;           // "Scaner": number of the scanner port
    QString scanerName;       // "ScanerName"
    int baudIndex = 0;        // "BaudRate" read, "Baudrate" written; 0..3
    int timeout = 500;        // "Timeout", milliseconds 200..30000
    int pause = 50;           // "Pause", milliseconds 0..50 between an exchange and the next request
    int parity = 0;           // "Parity", 0..2
    int mode = 0;             // "Mode", 0 "Rs-485", 1 "MODBUS"
    bool master = false;      // "Master" present: byte trace, editable meter number
    bool calibr = false;      // "Calibr" present: the calibration page is shown
    bool scan = false;        // "Scan": the scanner is switched on

    // The store the program uses.
    static QSettings *openStore();

    // Reads every value that is present (names compared without regard to case).
    void load(QSettings &store);
    // Writes the values the program keeps; "Master" and "Calibr" are never
    // written. "Address" is written only when the meter port number is not 0.
    void save(QSettings &store) const;
};

// The number of a port named "COM<n>" (any letter case): the digits after
// the first three characters; -1 when they are not a number.
int portNumber(const QString &portName);

} // namespace kelvar::app
