#include "producer/frame.h"
#include "producer/producer.h"
#include "producer/variants.h"

namespace tavisor {

namespace {

template <class Variant, char Letter>
void Produce(void* shared) {
  RunFrame<Variant>(*static_cast<SharedState<Letter>*>(shared));
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

void RunProducer(char letter, void* shared) {
  if (const ProducerFunction produce = ProducerFor(letter)) produce(shared);
}

}  // namespace tavisor
