#include "sdk/error_texts.h"

namespace tw {

namespace {
struct ErrorTextRow {
  int code;
  const char* german;
  const char* english;
};

// German texts in Windows-1252 (\xF6 = o umlaut, \xE4 = a umlaut, \xFC = u umlaut).
const ErrorTextRow kTexts[] = {
    {6, "Fehler beim Port \xF6" "ffnen", "Error opening the port"},
    {7, "Timeout", "Timeout"},
    {8, "Blockl\xE4" "nge ist nicht korrekt", "Block length is not correct"},
    {9, "Fehler: Falsche Datenanzahl", "Error: wrong number of data bytes"},
    {11, "Keine Sendedaten", "No data to send"},
    {15,
     "An diesem Port ist kein Leser angeschlossen.\r\nBitte w\xE4" "hlen sie eine andere "
     "Schnittstelle.",
     "No reader is connected to this port.\r\nPlease choose another interface."},
    {21, "Kein g\xFC" "ltiger Transponder vorhanden!", "No valid transponder present!"},
};
const char* const kUnknownGerman = "Unbekannter Fehler ist aufgetreten";
const char* const kUnknownEnglish = "An unknown error has occurred";
}  // namespace

const char* ErrorText(int code, bool english) {
  for (const ErrorTextRow& row : kTexts)
    if (row.code == code) return english ? row.english : row.german;
  return english ? kUnknownEnglish : kUnknownGerman;
}

}  // namespace tw
