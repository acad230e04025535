#include <tuple>
#include <utility>

#include "producer/frame.h"
#include "producer/producer.h"
#include "producer/variants.h"

namespace tavisor {

namespace {

// The producer side of variant `Letter`.
template <char Letter>
using VariantFor =
    std::tuple_element_t<Letter - 'A',
                         std::tuple<VariantA, VariantB, VariantC, VariantD, VariantE>>;

template <char Letter>
void Produce(void* shared, std::promise<void> set_up, const ProducerEnvironment& env) {
  RunFrame<VariantFor<Letter>>(*static_cast<SharedState<Letter>*>(shared), std::move(set_up), env);
}

}  // namespace

ProducerFunction ProducerFor(char letter) {
  return VisitVariant(
      letter, []<char V>() -> ProducerFunction { return &Produce<V>; },
      []() -> ProducerFunction { return nullptr; });
}

void RunProducer(char letter, void* shared, const ProducerEnvironment& env,
                 std::promise<void> set_up) {
  if (const ProducerFunction produce = ProducerFor(letter)) produce(shared, std::move(set_up), env);
}

}  // namespace tavisor
