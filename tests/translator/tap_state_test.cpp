// The TAP model: the transition table against properties of the IEEE
// 1149.1 controller, every fixed stable-state path walked step by step,
// and the QSTATE records of STATE under the default and -extensions.
#include "tap_state.h"

#include "translator_fixture.h"

using namespace svf;
using namespace qsvf;

TEST(TapTable, FiveTmsOnesReachResetFromEveryState) {
    for (unsigned start = 0; start < kTapStateCount; ++start) {
        TapState state = static_cast<TapState>(start);
        for (int i = 0; i < 5; ++i) state = kTapTransitions[state].next1;
        EXPECT_EQ(state, STATE_RESET) << kTapStateNames[start];
    }
}

TEST(TapTable, HandPickedSteps) {
    EXPECT_EQ(kTapTransitions[STATE_RESET].next0, STATE_IDLE);
    EXPECT_EQ(kTapTransitions[STATE_DREXIT2].next0, STATE_DRSHIFT);
    EXPECT_EQ(kTapTransitions[STATE_IREXIT1].next1, STATE_IRUPDATE);
    EXPECT_EQ(kTapTransitions[STATE_DRSELECT].next1, STATE_IRSELECT);
    EXPECT_EQ(kTapTransitions[STATE_IRUPDATE].next1, STATE_DRSELECT);
    int tms = 7;
    EXPECT_TRUE(checkTapPath(STATE_DRPAUSE, STATE_DREXIT2, &tms));
    EXPECT_EQ(tms, 1);
    EXPECT_TRUE(checkTapPath(STATE_IDLE, STATE_IDLE, &tms));
    EXPECT_EQ(tms, 0);
    EXPECT_FALSE(checkTapPath(STATE_IDLE, STATE_DRPAUSE, &tms));
    EXPECT_EQ(tms, -1);
}

TEST(TapTable, EveryStablePathIsALegalWalkThatAvoidsShiftStates) {
    const TapState stable[] = {STATE_RESET, STATE_IDLE, STATE_DRPAUSE, STATE_IRPAUSE};
    int paths = 0;
    for (TapState from : stable) {
        for (TapState to : stable) {
            const StablePath *path = findStablePath(from, to);
            bool oneStep = from == to || (from == STATE_RESET && to == STATE_IDLE);
            if (oneStep) {
                EXPECT_EQ(path, nullptr);
                continue;
            }
            ASSERT_NE(path, nullptr) << kTapStateNames[from] << " -> " << kTapStateNames[to];
            ++paths;
            TapState current = from;
            for (int i = 0; i < path->stepCount; ++i) {
                int tms = -1;
                EXPECT_TRUE(checkTapPath(current, path->steps[i].state, &tms));
                EXPECT_EQ(tms, path->steps[i].tms);
                EXPECT_NE(path->steps[i].state, STATE_DRSHIFT);
                EXPECT_NE(path->steps[i].state, STATE_IRSHIFT);
                current = path->steps[i].state;
            }
            EXPECT_EQ(current, to);
        }
    }
    EXPECT_EQ(paths, 11);
    // Lengths written down by hand from the controller diagram.
    EXPECT_EQ(findStablePath(STATE_IDLE, STATE_RESET)->stepCount, 3);
    EXPECT_EQ(findStablePath(STATE_DRPAUSE, STATE_IRPAUSE)->stepCount, 7);
    EXPECT_EQ(findStablePath(STATE_RESET, STATE_IRPAUSE)->stepCount, 6);
}

class StateTest : public TranslatorTest {
protected:
    std::vector<uint8_t> state(const std::string &text, TapState from) {
        pGlobTapData->currentState = from;
        giPlayerState = from;  // the player is where the model is
        FileChannel &in = input(text);
        doState(in);
        return outputBytes();
    }
};

TEST_F(StateTest, DefaultWritesOnlyStepsIntoResetOrIdle) {
    EXPECT_EQ(state("IDLE;", STATE_RESET), (std::vector<uint8_t>{18, 1}));
    EXPECT_EQ(pGlobTapData->currentState, STATE_IDLE);
    EXPECT_EQ(iSvfTrstRule, 1);
}

TEST_F(StateTest, ResetFromIdleExpandsButWritesOnlyReset) {
    EXPECT_EQ(state("RESET;", STATE_IDLE), (std::vector<uint8_t>{18, 0}));
    ASSERT_EQ(pGlobTapData->transitions.size(), 3u);
    EXPECT_EQ(pGlobTapData->transitions[0], (std::pair<uint8_t, uint8_t>{STATE_DRSELECT, 1}));
}

TEST_F(StateTest, DrPauseFromIdleWritesNothingByDefault) {
    EXPECT_TRUE(state("DRPAUSE;", STATE_IDLE).empty());
    EXPECT_EQ(pGlobTapData->currentState, STATE_DRPAUSE);
}

TEST_F(StateTest, ExtensionsWriteEveryStep) {
    iOptMinQstateUsage = 0;
    openListing();
    EXPECT_EQ(state("DRPAUSE;", STATE_IDLE), (std::vector<uint8_t>{18, 2, 18, 3, 18, 5, 18, 6}));
    EXPECT_EQ(listing(), "QSTATE 0x02\nQSTATE 0x03\nQSTATE 0x05\nQSTATE 0x06\n");
}

TEST_F(StateTest, IdleFromDrPauseUnderExtensions) {
    iOptMinQstateUsage = 0;
    EXPECT_EQ(state("IDLE;", STATE_DRPAUSE), (std::vector<uint8_t>{18, 7, 18, 8, 18, 1}));
}

TEST_F(StateTest, ExplicitPathStepByStep) {
    iOptMinQstateUsage = 0;
    EXPECT_EQ(state("DRSELECT DRCAPTURE DREXIT1 DRPAUSE;", STATE_IDLE),
              (std::vector<uint8_t>{18, 2, 18, 3, 18, 5, 18, 6}));
}

TEST_F(StateTest, V2WritesNoRecords) {
    iV2Compatibility = 1;
    iOptMinQstateUsage = 0;
    EXPECT_TRUE(state("RESET;", STATE_IDLE).empty());
    EXPECT_EQ(pGlobTapData->currentState, STATE_RESET);
}

TEST_F(StateTest, LaterStatesMustFollowInOneStep) {
    pGlobTapData->currentState = STATE_RESET;
    FileChannel &in = input("IDLE DRPAUSE;");
    std::string out = expectFatal([&] { doState(in); });
    EXPECT_EQ(out, "\nError  : Invalid pathstate from state idle\n[in.svf: line 1]:[DRPAUSE]");
}

TEST_F(StateTest, FirstTargetMustBeStableWhenNotOneStepAway) {
    pGlobTapData->currentState = STATE_IDLE;
    FileChannel &in = input("DRSHIFT;");
    std::string out = expectFatal([&] { doState(in); });
    EXPECT_EQ(out, "\nError  : [drshift]: invalid stable state\n[in.svf: line 1]:[DRSHIFT]");
}

TEST_F(StateTest, StateEndingOutsideTheStableSetIsRefused) {
    pGlobTapData->currentState = STATE_IDLE;
    FileChannel &in = input("DRSELECT;");
    std::string out = expectFatal([&] { doState(in); });
    EXPECT_NE(out.find("Error  : [drselect]: stable state must be RESET/IDLE/DRPAUSE/IRPAUSE"), std::string::npos);
}

TEST_F(StateTest, EndOfInputInsideStateIsTokenNotFound) {
    pGlobTapData->currentState = STATE_IDLE;
    FileChannel &in = input("IDLE IDLE");
    std::string out = expectFatal([&] { doState(in); });
    EXPECT_NE(out.find("Error  : Token [;] not found"), std::string::npos) << out;
}
