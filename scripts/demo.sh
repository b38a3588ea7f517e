#!/usr/bin/env bash
# Builds the library and kelab, then shows the forced-control road in a
# scratch documents folder (removed afterwards): a user with one stored
# assignment, two registered experiments, and a read that falls back to the
# default value, which the library records as forced control (first as a dry
# run that writes nothing); then a support engineer's undo from the backup.
set -euo pipefail
cd "$(dirname "$0")/.."
step() { printf 'demo: %s\n' "$*"; }
started=$SECONDS
step "a first run installs what is missing and builds kelab: about 3 minutes on 2 cores; later runs take seconds"
step "1/3 checking the Debian packages (scripts/setup.sh)"
scripts/setup.sh >/dev/null
step "2/3 configuring the default preset (cmake --preset default)"
cmake --preset default >/dev/null
step "3/3 building the library and kelab (cmake --build --preset default --target kelab)"
cmake --build --preset default --target kelab >/dev/null
step "ready after $((SECONDS - started)) s"
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

say "kelab diff --docs DOCS --user demo-user   # support: what the session changed, from its backup"
"$kelab" diff --docs "$docs" --user demo-user

say "kelab restore --docs DOCS --user demo-user   # support: put the file back (itself backed up)"
"$kelab" restore --docs "$docs" --user demo-user

say kelab users --docs DOCS
"$kelab" users --docs "$docs"
