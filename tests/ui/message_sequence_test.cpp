// The sequence checker's marks of a known difference, on either backend: an entry of this
// backend must be recorded, an entry of the other must not be.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "tests/support/message_sequence.h"

namespace {

using namespace uitest;
using Sequence = std::vector<Msg>;

#ifdef _WIN32
const Msg kHere = Posted(0x0403).WParam(1).RealOnly();
const Msg kThere = Posted(0x0403).WParam(1).HeadlessOnly();
#else
const Msg kHere = Posted(0x0403).WParam(1).HeadlessOnly();
const Msg kThere = Posted(0x0403).WParam(1).RealOnly();
#endif

TEST(MessageSequenceTest, AnEntryOfOneBackendIsRequiredThereAndRefusedOnTheOther) {
    MessageSequence recorded;
    recorded.AddDelivery({nullptr, 0x0403, 1, 0, true, false});
    const MessageSequence none;

    EXPECT_SEQUENCE(recorded, Sequence{kHere}, "this backend's, recorded");
    EXPECT_SEQUENCE(none, Sequence{kThere}, "the other backend's, not recorded");
    EXPECT_NONFATAL_FAILURE(EXPECT_SEQUENCE(none, Sequence{kHere}, "missing"),
                            "expected posted message 0x403 wParam 0x1");
    EXPECT_NONFATAL_FAILURE(EXPECT_SEQUENCE(recorded, Sequence{kThere}, "present"),
                            "unexpected posted message 0x403");
    // How it came counts: a send is not the post.
    MessageSequence sent;
    sent.AddDelivery({nullptr, 0x0403, 1, 0, false, true});
    EXPECT_NONFATAL_FAILURE(EXPECT_SEQUENCE(sent, Sequence{kHere}, "sent"),
                            "got sent from another thread message 0x403");
}

}  // namespace
