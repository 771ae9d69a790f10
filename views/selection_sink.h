// What a view calls when the user picks records on a plot.  The main window implements it by
// showing the selected-data window; tests use a double that records the calls.
#pragma once

class SelectionSink {
  public:
    virtual ~SelectionSink() = default;
    // Shows the selected-data window in front and adds one record (index into records).
    virtual void ShowSelectedRecord(bool absorption, int recordIndex) = 0;
    // The same with the records first..end, first <= end.
    virtual void ShowSelectedRange(bool absorption, int first, int end) = 0;
};
