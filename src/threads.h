// How many threads a run works with.
#ifndef TARVIN_THREADS_H
#define TARVIN_THREADS_H

// The processors this process may use (at least 1).
unsigned processorCount();

// The threads that decode reports, the writer counted: one where standard
// output is a console (each report shows as soon as it is decoded), else
// one for each of the `processors`, at most 16, which bounds the memory of
// the batches in flight (reportWriter.h).
unsigned decodingThreads(bool console, unsigned processors);

#endif  // TARVIN_THREADS_H
