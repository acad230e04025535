#include <utility>

#include "producer/frame.h"
#include "producer/producer.h"
#include "producer/variants.h"

namespace tavisor {

namespace {

template <class Variant, char Letter>
void Produce(void* shared, std::promise<void> set_up) {
  RunFrame<Variant>(*static_cast<SharedState<Letter>*>(shared), std::move(set_up));
}

}  // namespace

ProducerFunction ProducerFor(char letter) {
  switch (letter) {
    case 'A':
      return &Produce<VariantA, 'A'>;
    case 'B':
      return &Produce<VariantB, 'B'>;
    case 'C':
      return &Produce<VariantC, 'C'>;
    case 'D':
      return &Produce<VariantD, 'D'>;
    case 'E':
      return &Produce<VariantE, 'E'>;
    default:
      return nullptr;
  }
}

std::jthread StartProducerThread(char letter, void* shared) {
  std::promise<void> set_up;
  std::future<void> ready = set_up.get_future();
  // The producer takes no stop token: the thread object's own stop source is
  // never seen.
  std::jthread thread(ProducerFor(letter), shared, std::move(set_up));
  // Short: the producer prints a line and registers a callback, then its
  // first pause begins on its own.
  ready.get();
  return thread;
}

void RunProducer(char letter, void* shared) {
  if (const ProducerFunction produce = ProducerFor(letter)) produce(shared, std::promise<void>());
}

}  // namespace tavisor
