#ifndef ATTEMPT_OUTCOME_H
#define ATTEMPT_OUTCOME_H

// What one attempt of a read or write request came to, and with it what the
// request's retry loop does next.

#include <utility>

enum class AttemptOutcome {
    Done,  // no error: the request has succeeded
    Retry, // an error another attempt may mend; the last attempt's is the request's
    Stop   // an error no retry mends (link not reopened, data type unsupported):
           // the request ends at once, without its description
};

// An attempt's outcome with what its transaction gave back.
template <typename Result>
struct Attempted
{
    AttemptOutcome outcome;
    Result result;
};

// The attempt whose transaction ran, judged by the error flag alone.
template <typename Result>
Attempted<Result> judgedByError(bool errorHeld, Result result)
{
    return {errorHeld ? AttemptOutcome::Retry : AttemptOutcome::Done, std::move(result)};
}

// The attempt that ends the request; its result is the empty one.
template <typename Result>
Attempted<Result> stopped()
{
    return {AttemptOutcome::Stop, Result()};
}

#endif // ATTEMPT_OUTCOME_H
