/* test-msg-queue.cpp: bounded ring buffer (concurrent use: see the thread pit tests) */
#include "vorn-msg-queue.h"
#include "vorn-test-log.h"

namespace {

/* Not pointer-sized, so positions advance by a size other than 8. */
struct Item {
  gint32 producer, seq, pad;
};

} // namespace

TEST (MsgQueue, CapacityFifoAndWrapAround)
{
  VornMsgQueue *q = vorn_msg_queue_new (sizeof (Item), 3);
  auto push = [q] (int seq) { Item it{0, seq, 0}; return vorn_msg_queue_push (q, &it); };
  auto pop = [q] { Item it{-1, -1, -1}; vorn_msg_queue_pop (q, &it); return it.seq; };

  for (int i = 0; i < 3; i++)
    EXPECT_TRUE (push (i));
  Item extra{0, 99, 0};
  EXPECT_FALSE (vorn_msg_queue_push (q, &extra));
  EXPECT_FALSE (vorn_msg_queue_push_unlocked (q, &extra));
  EXPECT_EQ (pop (), 0);
  EXPECT_TRUE (push (3));
  EXPECT_FALSE (push (99));

  /* Varying fill levels walk the ring many times; refused items never appear. */
  int next_in = 4, next_out = 1;
  for (int round = 0; round < 50; round++)
    {
      int pops = 1 + round % 3;
      for (int i = 0; i < pops; i++)
        ASSERT_EQ (pop (), next_out++);
      for (int i = 0; i < pops; i++)
        ASSERT_TRUE (push (next_in++));
    }

  Item out{};
  while (vorn_msg_queue_pop_unlocked (q, &out))
    EXPECT_EQ (out.seq, next_out++);
  EXPECT_EQ (next_out, next_in);
  vorn_msg_queue_free (q);
}
