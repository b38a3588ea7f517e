#!/usr/bin/env bash
# Builds the library and kelab, then shows the forced-control road in a
# scratch documents folder (removed afterwards): a user with one stored
# assignment, two registered experiments, and a read that falls back to the
# default value, which the library records as forced control (first as a dry
# run that writes nothing); then a support engineer's repair.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
cmake --preset default >/dev/null
cmake --build --preset default --target kelab >/dev/null
kelab=build/default/bin/kelab
docs=$(mktemp -d)
trap 'rm -rf "$docs"' EXIT

if [[ -t 1 ]]; then bold=$'\033[1m' plain=$'\033[0m'; else bold='' plain=''; fi
say() { printf '\n%s$ %s%s\n' "$bold" "$*" "$plain"; }

# A stored assignment from an earlier session: checkoutFlow, challenger.
mkdir -p "$docs/Users/demo-user"
printf '%s' '{"checkoutFlow":"{\"campaignId\":\"4711\",\"challengerType\":\"copy\",\"variation\":\"challenger\",\"variationId\":\"checkout-b\"}"}' \
  >"$docs/Users/demo-user/ABExperiment"

say kelab show --docs DOCS --user demo-user
"$kelab" show --docs "$docs" --user demo-user

say kelab run --docs DOCS --user demo-user --experiment newOnboarding --read newOnboarding_variation --dry-run
"$kelab" run --docs "$docs" --user demo-user --experiment newOnboarding --read newOnboarding_variation --dry-run

say kelab run --docs DOCS --user demo-user --experiment checkoutFlow --experiment newOnboarding \
  --read checkoutFlow_variation --read newOnboarding_variation --read newOnboarding_variationId
"$kelab" run --docs "$docs" --user demo-user --experiment checkoutFlow --experiment newOnboarding \
  --read checkoutFlow_variation --read newOnboarding_variation --read newOnboarding_variationId

say kelab check --docs DOCS --user demo-user
"$kelab" check --docs "$docs" --user demo-user

say "kelab run ... again: the forced record now answers, nothing falls back"
"$kelab" run --docs "$docs" --user demo-user --experiment checkoutFlow --experiment newOnboarding \
  --read newOnboarding_variation

say "kelab remove --docs DOCS --user demo-user --experiment newOnboarding   # support: undo it"
"$kelab" remove --docs "$docs" --user demo-user --experiment newOnboarding

say kelab users --docs DOCS
"$kelab" users --docs "$docs"
