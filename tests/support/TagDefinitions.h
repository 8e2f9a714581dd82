#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "framework/DLLBase.h"

namespace korax::test {

using framework::TagDefinition;
using framework::TagDefinitionList;

// A host's definition list: the records and the pointer array handed to the driver object.
struct Definitions {
    std::vector<TagDefinition> records;
    std::vector<const TagDefinition*> pointers;

    Definitions& Add(std::uint32_t id, std::string address = "AD0", std::uint32_t interval = 100,
                     std::string name = {}) {
        TagDefinition def;
        def.TagId = id;
        // Appended rather than "T" + ..., which trips a false -Wrestrict of GCC 12 at -O2.
        def.Name = name.empty() ? std::string("T").append(std::to_string(id)) : std::move(name);
        def.Address = std::move(address);
        def.ScanInterval = interval;
        records.push_back(std::move(def));
        return *this;
    }
    // Sets the data type (and initial value) of the definition added last.
    Definitions& Typed(std::uint8_t dataType, framework::Value initial = {}) {
        records.back().DataType = dataType;
        records.back().InitialValue = std::move(initial);
        return *this;
    }
    Definitions& AddNil() {
        nil.push_back(records.size());
        return *this;
    }
    // Pointers are taken only once the records stop moving.
    TagDefinitionList List() {
        pointers.clear();
        std::size_t next = 0;
        for (std::size_t i = 0; i <= records.size(); ++i) {
            while (next < nil.size() && nil[next] == i) {
                pointers.push_back(nullptr);
                ++next;
            }
            if (i < records.size()) pointers.push_back(&records[i]);
        }
        return pointers;
    }

private:
    std::vector<std::size_t> nil; // record counts before which a nil pointer stands
};

} // namespace korax::test
