#pragma once
// Which of the two programs built from this code base is running; the routines and windows
// take it where the legacy edition behaves or looks different.
namespace tkr {

enum class Edition {
  Current,  // SWPDEMO2
  Legacy,   // SWPDEMO1
};

}  // namespace tkr
