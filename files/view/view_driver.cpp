// The view driver (view_driver.h): each operation is passed to the View the
// declaration's instance refers to.
#include "files/view/view_driver.h"

#include "files/driver.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

namespace morvex {

namespace {

struct ViewInstance : DriverInstance {
    explicit ViewInstance(View& v) : view(v) {}
    View& view;
};

class ViewFileDriver : public FileDriver {
protected:
    static View* view_of(DriverCall& call) {
        auto* instance = dynamic_cast<ViewInstance*>(call.instance.driver_data.get());
        if (!instance) {
            SetError(ErrFileNotOpen);
            return nullptr;
        }
        return &instance->view;
    }

    int32_t Open(DriverCall& call, int32_t access_mode) override {
        if (View* v = view_of(call))
            v->Open(access_mode);
        return 0;
    }
    int32_t Close(DriverCall& call) override {
        if (View* v = view_of(call))
            v->Close();
        return 0;
    }
    int32_t SetFile(DriverCall& call) override {
        if (View* v = view_of(call))
            v->Set(0);
        return 0;
    }
    int32_t Next(DriverCall& call) override {
        if (View* v = view_of(call))
            v->Next();
        return 0;
    }
    int32_t Previous(DriverCall& call) override {
        if (View* v = view_of(call))
            v->Previous();
        return 0;
    }
    int32_t Position(DriverCall& call, KeyDeclaration*, std::string& position) override {
        if (View* v = view_of(call))
            position = v->Position();
        return 0;
    }
    int32_t Reset(DriverCall& call, KeyDeclaration*, std::string_view position) override {
        if (View* v = view_of(call))
            v->Reset(position);
        return 0;
    }
    int32_t Reget(DriverCall& call, KeyDeclaration*, std::string_view position) override {
        if (View* v = view_of(call))
            v->Reget(position);
        return 0;
    }
    int32_t Buffer(DriverCall& call, int32_t a, int32_t b, int32_t c, int32_t d) override {
        if (View* v = view_of(call))
            v->SetBuffer(a, b, c, d);
        return 0;
    }
    int32_t SetProperty(DriverCall& call, int32_t property, int32_t, std::string_view value) override {
        View* v = view_of(call);
        if (!v)
            return 0;
        if (property == ViewPropertyOrder)
            v->SetOrder(value);
        else if (property == ViewPropertyFilter)
            v->SetFilter(value);
        else
            return Unsupported();
        return 0;
    }
    int32_t GetProperty(DriverCall& call, int32_t property, int32_t,
                        std::optional<std::string>& text) override {
        View* v = view_of(call);
        if (!v)
            return 0;
        if (property == ViewPropertyOrder)
            text = v->order();
        else if (property == ViewPropertyFilter)
            text = v->filter();
        else
            return Unsupported();
        return 0;
    }
    int32_t Other(DriverCall& call) override {
        View* v = view_of(call);
        if (!v)
            return 0;
        switch (static_cast<DriverOperation>(call.operation)) {
        case DriverOperation::SetView:
            v->Set(call.args.number(0));
            return 0;
        case DriverOperation::ResetViewFile:
            v->Refresh();
            return 0;
        default:
            return Unsupported();
        }
    }
};

} // namespace

int32_t ViewDriver(int operation, FileDeclaration& file, DriverArguments args) {
    return DriverEntryOf<ViewFileDriver>(operation, file, args);
}

ViewFile::ViewFile(FileDeclaration& primary, std::string label)
    : m_view(primary), m_file(FileSpec{.label = std::move(label), .driver = ViewDriver}) {
    m_file.current().driver_data = std::make_unique<ViewInstance>(m_view);
}

void SETview(FileDeclaration& view, int32_t items) {
    CallDriver(DriverOperation::SetView, view, items);
}

} // namespace morvex
