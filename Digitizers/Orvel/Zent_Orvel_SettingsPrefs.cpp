// The settings record's preference form: one decimal entry per field.
// No locks; the caller owns the record and the map for the call.
#include <iterator>

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"

namespace Zent {
namespace Orvel {

namespace {

// One field of the record and its key; exactly one of the two members is set.
struct PrefsField {
    const char* mKey;
    UInt32 Settings::*mWord;
    SInt16 Settings::*mHalf;
};

// The visiting order of both directions. It differs from the record's field
// order around the output video fields.
const PrefsField kPrefsFields[] = {
    {"genlock", &Settings::genlock, nullptr},
    {"direction", &Settings::direction, nullptr},
    {"videoinformat", &Settings::videoinformat, nullptr},
    {"videoinmode", &Settings::videoinmode, nullptr},
    {"videoincompositentsctype", &Settings::videoincompositentsctype, nullptr},
    {"videoincomponenttype", &Settings::videoincomponenttype, nullptr},
    {"videooutformat", &Settings::videooutformat, nullptr},
    {"videooutcompositentsctype", &Settings::videooutcompositentsctype, nullptr},
    {"videooutcomponenttype", &Settings::videooutcomponenttype, nullptr},
    {"videooutmode", &Settings::videooutmode, nullptr},
    {"videooutanalogmonitoringmode", &Settings::videooutanalogmonitoringmode, nullptr},
    {"framerate", &Settings::framerate, nullptr},
    {"framegeometry", &Settings::framegeometry, nullptr},
    {"standard", &Settings::standard, nullptr},
    {"audioinformat", &Settings::audioinformat, nullptr},
    {"audioinwordsize", &Settings::audioinwordsize, nullptr},
    {"audioinsamplerate", &Settings::audioinsamplerate, nullptr},
    {"audioinsynchronous", &Settings::audioinsynchronous, nullptr},
    {"audioinmute", &Settings::audioinmute, nullptr},
    {"audioin0gain", &Settings::audioin0gain, nullptr},
    {"audioin1gain", &Settings::audioin1gain, nullptr},
    {"audioin2gain", &Settings::audioin2gain, nullptr},
    {"audioin3gain", &Settings::audioin3gain, nullptr},
    {"audioin0gainadj", nullptr, &Settings::audioin0gainadj},
    {"audioin1gainadj", nullptr, &Settings::audioin1gainadj},
    {"audioin2gainadj", nullptr, &Settings::audioin2gainadj},
    {"audioin3gainadj", nullptr, &Settings::audioin3gainadj},
    {"audiooutformat", &Settings::audiooutformat, nullptr},
    {"audiooutwordsize", &Settings::audiooutwordsize, nullptr},
    {"audiooutsamplerate", &Settings::audiooutsamplerate, nullptr},
    {"audiooutsynchronous", &Settings::audiooutsynchronous, nullptr},
    {"audiooutmute", &Settings::audiooutmute, nullptr},
    {"audioout0gain", &Settings::audioout0gain, nullptr},
    {"audioout1gain", &Settings::audioout1gain, nullptr},
    {"audioout2gain", &Settings::audioout2gain, nullptr},
    {"audioout3gain", &Settings::audioout3gain, nullptr},
    {"audioout0gainadj", nullptr, &Settings::audioout0gainadj},
    {"audioout1gainadj", nullptr, &Settings::audioout1gainadj},
    {"audioout2gainadj", nullptr, &Settings::audioout2gainadj},
    {"audioout3gainadj", nullptr, &Settings::audioout3gainadj},
    {"avsyncStartVideoAfterAudioWait", nullptr, &Settings::avsyncStartVideoAfterAudioWait},
    {"avsyncReleaseAudioAfterVideoWait", nullptr, &Settings::avsyncReleaseAudioAfterVideoWait},
    {"avsyncNewMode", nullptr, &Settings::avsyncNewMode},
};
static_assert(std::size(kPrefsFields) == Settings::kPrefsKeyCount);

}  // namespace

const char* Settings::GetPrefsKey(UInt32 inIndex)
{
    return inIndex < kPrefsKeyCount ? kPrefsFields[inIndex].mKey : nullptr;
}

void Settings::GetPrefs(PrefsMap& ioPrefs) const
{
    for (const PrefsField& field : kPrefsFields) {
        // 32-bit codes print as signed int; 16-bit values are sign-extended.
        const int value = field.mWord != nullptr ? int(SInt32(this->*field.mWord)) : int(this->*field.mHalf);
        ioPrefs.insert_or_assign(field.mKey, itostring(value));
    }
}

void Settings::SetFromPrefs(const PrefsMap& inPrefs)
{
    for (const PrefsField& field : kPrefsFields) {
        const auto entry = inPrefs.find(field.mKey);
        if (entry == inPrefs.end()) {
            continue;
        }
        const int value = stringtoi(entry->second);
        if (field.mWord != nullptr) {
            this->*field.mWord = UInt32(value);
        } else {
            // The low 16 bits, as two's complement.
            this->*field.mHalf = SInt16(UInt16(UInt32(value) & 0xFFFF));
        }
    }
}

}  // namespace Orvel
}  // namespace Zent
