// Processing recipes: any text is either refused with a message or read into options that write
// themselves out as a recipe giving the same options again.
#include <string>

#include "fuzz_util.h"
#include "processing_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ProcessingOptions o;
    const ProcessingOptions before = o;
    if (!fuzz::clean([&] { o.read_json(text); })) {
        if (!(o == before))
            fuzz::fail("a refused recipe changed the options");
        return 0;
    }
    ProcessingOptions again;
    if (!fuzz::clean([&] { again.read_json(o.to_json()); }))
        fuzz::fail("a written recipe is refused");
    // NaN cannot come from JSON, so equality holds for every accepted recipe.
    if (!(again == o))
        fuzz::fail("a written recipe reads back to other options");
    return 0;
}
