// What the sensor line tells the station about its failures. Each is reported and the
// handler goes on; the station shows it once the handler has returned.
#include "SensorLink.h"

#include "SQLiteDatabase.h"

namespace {

// A query that found the file busy raises the bare step text; the operator must still be
// told that another program holds data.db, so the code and its description are added.
std::string StorageFailureText(const SQLiteError& e) {
    std::string text = e.what();
    if (e.Code() != 0 && text.find("Error [") == std::string::npos)
        text +=
            ".\rError [" + std::to_string(e.Code()) + "]: " + SQLiteCodeDescription(e.Code()) + ".";
    return text;
}

} // namespace

// The same failure of every reply is one condition: its key leaves out the row's values.
void SensorLink::ReportStorageFailure(const SQLiteError& e) {
    const std::string text = StorageFailureText(e);
    ctx_.conditions.Report({"DATA row: " + ConditionKey(text), text});
}

void SensorLink::ReportPortAbsent() {
    std::string text = kMsgPortAbsent;
    const QString name = ctx_.portName ? ctx_.portName() : QString();
    text.replace(text.find("%s"), 2, name.toStdString());
    ctx_.conditions.Report({text, text, true, Condition::Then::ChoosePort});
}
