// The maker's exception for something that could not be had: an empty
// object. Thrown, for one, when the muxer component is missing.
#pragma once

namespace Zent {
namespace LWE {

class BadAllocation {};

}  // namespace LWE
}  // namespace Zent
