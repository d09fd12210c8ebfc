/* test-msg-queue.cpp: bounded ring buffer between threads.  Concurrent use
 * (blocking pops woken by pushes from several threads) is exercised by the
 * thread pit tests, whose workers talk through these queues. */
#include "vorn-msg-queue.h"
#include "vorn-test-log.h"

namespace {

/* Not pointer-sized, so positions advance by a size other than 8. */
struct Item {
  gint32 producer;
  gint32 seq;
  gint32 pad;
};

Item
pop_item (VornMsgQueue *q)
{
  Item it{-1, -1, -1};
  vorn_msg_queue_pop (q, &it);
  return it;
}

} // namespace

TEST (MsgQueue, CapacityFifoAndWrapAround)
{
  VornMsgQueue *q = vorn_msg_queue_new (sizeof (Item), 3);
  ASSERT_TRUE (q);

  for (int i = 0; i < 3; i++)
    {
      Item it{0, i, 0};
      EXPECT_TRUE (vorn_msg_queue_push (q, &it));
    }
  Item extra{0, 99, 0};
  EXPECT_FALSE (vorn_msg_queue_push (q, &extra));
  EXPECT_FALSE (vorn_msg_queue_push_unlocked (q, &extra));
  EXPECT_EQ (pop_item (q).seq, 0);
  Item three{0, 3, 0};
  EXPECT_TRUE (vorn_msg_queue_push (q, &three));
  EXPECT_FALSE (vorn_msg_queue_push (q, &extra));

  /* Fill levels that vary from fragment to fragment walk the positions
   * round the ring many times; the refused item must not appear. */
  int next_in = 4, next_out = 1;
  for (int round = 0; round < 50; round++)
    {
      int pops = 1 + round % 3;
      for (int i = 0; i < pops; i++)
        ASSERT_EQ (pop_item (q).seq, next_out++);
      for (int i = 0; i < pops; i++)
        {
          Item it{0, next_in++, 0};
          ASSERT_TRUE (vorn_msg_queue_push (q, &it));
        }
    }

  Item out{};
  while (vorn_msg_queue_pop_unlocked (q, &out))
    EXPECT_EQ (out.seq, next_out++);
  EXPECT_EQ (next_out, next_in);

  Item untouched{7, 8, 9};
  EXPECT_FALSE (vorn_msg_queue_pop_unlocked (q, &untouched));
  EXPECT_TRUE (untouched.producer == 7 && untouched.seq == 8 && untouched.pad == 9);
  vorn_msg_queue_free (q);
}
