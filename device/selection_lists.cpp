#include "device/selection_lists.h"

namespace device {

const SelectionLists& SelectionListsFor(Language language) {
    // The fourth English clock really is spelled "15MHz".
    static const SelectionLists english{
        {u"20MHZ", u"30MHZ", u"40MHZ", u"15MHz"},
        {u"20MHZ", u"30MHZ", u"40MHZ", u"15MHz"},
        {u"ON", u"OFF"},
        {u"ON", u"OFF"},
        {u"Always", u"Quick", u"Slow"},
    };
    static const SelectionLists simplified{
        {u"20MHZ", u"26MHZ", u"40MHZ"},
        {u"20MHZ", u"26MHZ", u"40MHZ"},
        {u"常亮", u"熄灭"},
        {u"常亮", u"熄灭"},
        {u"常亮", u"快闪", u"慢闪"},
    };
    static const SelectionLists traditional{
        {u"20MHZ", u"30MHZ", u"40MHZ"},
        {u"20MHZ", u"30MHZ", u"40MHZ"},
        {u"常亮", u"熄滅"},
        {u"常亮", u"熄滅"},
        {u"常亮", u"快閃", u"慢閃"},
    };
    switch (language) {
        case Language::SimplifiedChinese:
            return simplified;
        case Language::TraditionalChinese:
            return traditional;
        case Language::English:
            break;
    }
    return english;
}

const std::vector<std::u16string>& EfsEntries() {
    static const std::vector<std::u16string> entries{
        u"0MB",  u"8MB",  u"16MB", u"24MB", u"32MB",  u"40MB",  u"48MB",
        u"56MB", u"64MB", u"80MB", u"96MB", u"112MB", u"128MB",
    };
    return entries;
}

}  // namespace device
