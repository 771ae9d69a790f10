#include "view_list.h"

#include <exception>

#include "flw_reader.h"
#include "tf_time_shift.h"
#include "tfr_parent_frame.h"
#include "tfr_reference.h"

namespace {

template <class F> void each(const std::vector<TFr_ParentFrame*>& views, F f) {
    std::exception_ptr first;
    for (TFr_ParentFrame* v : views) {
        try {
            f(v);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

} // namespace

void ViewList::AttachData(HYP_Data* data) {
    if (timeShift)
        timeShift->AttachData(data);
    each(views, [data](TFr_ParentFrame* v) { v->AttachData(data); });
}

void ViewList::SetLiveMode(bool live) {
    each(views, [live](TFr_ParentFrame* v) { v->SetLiveMode(live); });
}

void ViewList::NewRecords() {
    each(views, [](TFr_ParentFrame* v) { v->NewRecords(); });
}

void ViewList::Refresh() {
    each(views, [](TFr_ParentFrame* v) { v->Refresh(); });
}

void ViewList::AttachReader(parent_reader* reader) {
    auto* flw = dynamic_cast<flw_reader*>(reader);
    for (TFr_Reference* r : references)
        r->AttachReader(flw);
}
